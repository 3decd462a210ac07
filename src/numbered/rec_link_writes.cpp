// Insert, update, delete and Stat by number. The writes find the stored
// record by key 0 rebuilt from the caller's record, in a work copy, so the
// caller's buffer is never overwritten by a read.

#include "numbered/statuses.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

constexpr unsigned int kStatLength = 40980;  // bytes offered to Stat

}  // namespace

int CRecLink::DB_Insert(int dbno, void* data) {
  char* slot = GetPos(dbno);
  unsigned int length = GetLen(dbno);
  if (slot == nullptr || length == 0) return DbNoError("DBInsert Proc DBNo Error = %d", dbno);

  LockWkBuf(dbno, data);
  if (!HasWorkBuffers()) {
    DB_ErrMessage(dbno, "BO_INSERT", reclink::numbered::kStatusNoMemory);
    return reclink::numbered::kStatusNoMemory;
  }
  int status = RECLINK(B_INSERT, slot, static_cast<char*>(wkCopy_), &length,
                       static_cast<char*>(wkKey_), 0);
  FreeWkBuf();
  if (status != 0 && status != B_DUPLICATE_KEY_VALUE) {
    DB_ErrMessage(dbno, "BO_INSERT", static_cast<short>(status));
  }
  return status;
}

int CRecLink::RewriteRecord(int op, char const* label, char const* dbnoFormat, int dbno,
                            void* data) {
  char* slot = GetPos(dbno);
  unsigned int length = GetLen(dbno);
  if (slot == nullptr || length == 0) return DbNoError(dbnoFormat, dbno);

  LockWkBuf(dbno, data);
  if (!HasWorkBuffers()) {
    DB_ErrMessage(dbno, label, reclink::numbered::kStatusNoMemory);
    return reclink::numbered::kStatusNoMemory;
  }
  char* copy = static_cast<char*>(wkCopy_);
  char* key = static_cast<char*>(wkKey_);
  // An update writes the caller's record; a delete removes the one just read.
  char* written = op == B_UPDATE ? static_cast<char*>(data) : copy;

  // While another user changes the record between our read and our write,
  // read it again and try again, without pause or limit.
  int status = RECLINK(B_GET_EQUAL, slot, copy, &length, key, 0);
  while (status == 0) {
    status = RECLINK(op, slot, written, &length, key, 0);
    if (status != B_CONFLICT) break;
    status = RECLINK(B_GET_EQUAL, slot, copy, &length, key, 0);
  }
  FreeWkBuf();
  if (status != 0 && status != B_KEY_VALUE_NOT_FOUND) {
    DB_ErrMessage(dbno, label, static_cast<short>(status));
  }
  return status;
}

int CRecLink::DB_Update(int dbno, void* data) {
  return RewriteRecord(B_UPDATE, "BO_UPDATE", "DBUpdate Proc DBNo Error = %d", dbno, data);
}

int CRecLink::DB_Delete(int dbno, void* data) {
  return RewriteRecord(B_DELETE, "BO_DELETE", "DBDelete Proc DBNo Error = %d", dbno, data);
}

int CRecLink::DB_Stat(int dbno, void* data) {
  char* slot = GetPos(dbno);
  if (slot == nullptr) return DbNoError("DBStat Proc DBNo Error = %d", dbno);
  unsigned int length = kStatLength;
  int status = RECLINK(B_STAT, slot, static_cast<char*>(data), &length, scratch_, 0);
  if (status != 0 && status != B_END_OF_FILE) {
    DB_ErrMessage(dbno, "BO_STAT", static_cast<short>(status));
  }
  return status;
}
