// Finding the database directory, and opening and closing files by number.

#include <cstdio>
#include <cstring>

#include "numbered/db_number_table.h"
#include "numbered/last_delim.h"
#include "numbered/work_buffers.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"
#include "reclink/tools.h"

namespace {

constexpr int kShortPathSize = 256;     // bytes of the short-path buffer
constexpr int kProfileValueSize = 99;   // the directory read takes at most 98 bytes

}  // namespace

void CRecLink::GetIniFile() {
  CString ini = CTools::GetIniFileName();
  GetPrivateProfileStringA("DB_DIR", "DATABASE", "", dbDir_, kProfileValueSize, ini);
  LastDelimAdd(dbDir_);
}

int CRecLink::LastDelimAdd(char* path) { return reclink::numbered::AppendLastDelim(path); }

int CRecLink::DB_Open(int dbno, int mode) {
  GetIniFile();
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  if (entry == nullptr || entry->FileName() == nullptr) {
    return DbNoError("DBOpen Proc DBNo Error = %d", dbno);
  }
  std::memset(message_, 0, sizeof message_);
  std::snprintf(message_, sizeof message_, "%s%s", dbDir_, entry->FileName());
  return OpenSlot(message_, dbno, mode);
}

int CRecLink::DB_Open(char const* path, int dbno) {
  if (GetPos(dbno) == nullptr) return DbNoError("DBOpen Proc DBNo Error = %d", dbno);
  return OpenSlot(path, dbno, B_MODE_NORMAL);
}

int CRecLink::OpenSlot(char const* longPath, int dbno, int mode) {
  // A path that can't be shortened (a missing file) leaves the buffer empty,
  // and the record manager's answer to the empty name tells the failure.
  char shortPath[kShortPathSize] = {};
  GetShortPathNameA(longPath, shortPath, kShortPathSize);

  unsigned int length = GetLen(dbno);
  int status;
  {
    // The owner name: none, a zero-filled block of the record length.
    reclink::numbered::GlobalBlock owner(length);
    status = owner.data() == nullptr
                 ? B_INSUFFICIENT_MEMORY
                 : RECLINK(B_OPEN, GetPos(dbno), owner.data(), &length, shortPath, mode);
  }
  if (status != 0) {
    DB_ErrMessage(dbno, "BO_OPEN", static_cast<short>(status));
    return status;
  }
  return 0;
}

void CRecLink::DB_Close(int dbno) {
  char* slot = GetPos(dbno);
  if (slot == nullptr) return;  // no slot: there is nothing to close
  RECLINK(B_CLOSE, slot, nullptr, nullptr, nullptr, 0);
}

void CRecLink::DB_Stop() {
  RECLINK(B_RESET, scratch_, scratch_, &scratchLen_, scratch_, 0);
  RECLINK(B_STOP, scratch_, scratch_, &scratchLen_, scratch_, 0);
}
