// What the numbered interface tells the user: the error box of a failed
// operation, the I/O-error log line, and the box for a number it can't serve.

#include <cstdio>
#include <cstring>

#include "core/io_error_log.h"
#include "numbered/db_number_table.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

constexpr const char* kCaption = "RecLinkDLL ERROR";
constexpr int kIdentSize = 20;        // bytes of the ident shown in a box
constexpr int kBoxTextSize = 80;      // bytes of the box text

}  // namespace

void CRecLink::DB_ErrMessage(int dbno, char const* label, short status) {
  char ident[kIdentSize] = {};
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  if (entry != nullptr) std::snprintf(ident, sizeof ident, "%s", entry->Ident());

  char text[kBoxTextSize] = {};
  std::snprintf(text, sizeof text, "%s %s Status = %d", ident, label, status);
  MessageBoxA(nullptr, text, kCaption, MB_OK);

  // Until an open by number has read the directory there is nowhere the
  // log belongs; the box alone reports the error then.
  if (status == B_IO_ERROR && dbDir_[0] != '\0') {
    char logPath[kDirectorySize + 16] = {};
    std::snprintf(logPath, sizeof logPath, "%sio_error.txt", dbDir_);
    reclink::AppendIoErrorLine(logPath, ident);
  }
}

int CRecLink::DbNoError(char const* format, int dbno) {
  std::memset(message_, 0, sizeof message_);
  std::snprintf(message_, sizeof message_, format, dbno);
  MessageBoxA(nullptr, message_, kCaption, MB_OK);
  return -1;
}
