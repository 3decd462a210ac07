// BtrStatusText: what each status means, in the few words a person reading a
// tool's message needs, as btrieve_status.tbl gives them.
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace {

// One status and its meaning.
struct StatusRow {
  int status;           // as BTRCALL returns it
  const char* meaning;  // short English, lower case, no final stop
};

constexpr StatusRow kStatusTable[] = {
#define B_STATUS(name, value, meaning) {name, meaning},
#include "reclink/btrieve_status.tbl"
#undef B_STATUS
};

}  // namespace

extern "C" const char* BtrStatusText(int status) {
  for (const StatusRow& row : kStatusTable) {
    if (row.status == status) return row.meaning;
  }
  return "unknown status";
}
