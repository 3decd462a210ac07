// BtrStatusText: what each status means, in the few words a person reading a
// tool's message needs. One table, in status order.
#include "reclink/recman_check.h"

namespace {

// One status and its meaning.
struct StatusRow {
  int status;           // as BTRCALL returns it
  const char* meaning;  // short English, lower case, no final stop
};

constexpr StatusRow kStatusTable[] = {
    {0, "success"},
    {1, "invalid operation"},
    {2, "I/O error"},
    {3, "file not open"},
    {4, "key value not found"},
    {5, "duplicate key value"},
    {6, "invalid key number"},
    {7, "different key number"},
    {8, "no current record"},
    {9, "end of file"},
    {10, "key not modifiable"},
    {11, "invalid file name"},
    {12, "file not found"},
    {13, "extension file error"},
    {14, "pre-image file cannot be opened"},
    {15, "pre-image I/O error"},
    {16, "expansion error"},
    {17, "close error"},
    {18, "disk full"},
    {19, "unrecoverable error"},
    {20, "record manager inactive"},
    {21, "key buffer too short"},
    {22, "data buffer too short"},
    {23, "position block not 128 bytes"},
    {24, "invalid page size"},
    {25, "file cannot be created"},
    {26, "invalid number of keys"},
    {27, "invalid key position"},
    {28, "invalid record length"},
    {29, "invalid key length"},
    {30, "not a record file"},
    {31, "file already extended"},
    {32, "file cannot be extended"},
    {34, "invalid extension name"},
    {35, "directory error"},
    {36, "transaction error"},
    {37, "another transaction is active"},
    {38, "transaction control file I/O error"},
    {39, "no transaction to end or abort"},
    {40, "too many files in the transaction"},
    {41, "operation not allowed"},
    {42, "file left open in accelerated mode"},
    {43, "invalid record address"},
    {44, "invalid key path"},
    {45, "inconsistent key flags"},
    {46, "access denied"},
    {47, "too many open files"},
    {48, "invalid collating sequence"},
    {49, "invalid key type"},
    {50, "owner already set"},
    {51, "invalid owner name"},
    {52, "cache write error"},
    {54, "variable page error"},
    {55, "invalid autoincrement key"},
    {56, "incomplete index"},
    {58, "compression buffer too short"},
    {59, "file already exists"},
    {60, "reject count reached"},
    {61, "work space too small"},
    {62, "incorrect descriptor"},
    {63, "invalid insert extended buffer"},
    {64, "filter limit reached"},
    {65, "incorrect field offset"},
    {74, "transaction aborted"},
    {78, "deadlock"},
    {79, "programming error"},
    {80, "record changed by another user"},
    {81, "lock error"},
    {82, "position lost"},
    {83, "record read outside the transaction"},
    {84, "record locked by another user"},
    {85, "file locked by another user"},
    {86, "file table full"},
    {87, "handle table full"},
    {88, "incompatible open mode"},
    {93, "incompatible lock type"},
    {94, "permission error"},
    {95, "connection to the server lost"},
    {96, "no connection to the server"},
    {97, "data buffer too small"},
    {100, "no cache buffers available"},
    {101, "out of memory"},
    {132, "file full"},
    {3001, "record file kept locally on a network file system"},
};

}  // namespace

extern "C" const char* BtrStatusText(int status) {
  for (const StatusRow& row : kStatusTable) {
    if (row.status == status) return row.meaning;
  }
  return "unknown status";
}
