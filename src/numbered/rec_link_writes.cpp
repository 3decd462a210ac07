// Insert, update, delete and Stat by number. The writes find the stored
// record by key 0 rebuilt from the caller's record, in a work copy, so the
// caller's buffer is never overwritten by a read.

#include "numbered/db_number_table.h"
#include "numbered/work_buffers.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

int CRecLink::WriteRecord(int op, char const* label, char const* dbnoFormat, int dbno,
                          void* data) {
  char* slot = GetPos(dbno);
  unsigned int length = GetLen(dbno);
  if (slot == nullptr || length == 0) return DbNoError(dbnoFormat, dbno);

  int status;
  {
    // Released on every way out, before any box.
    const reclink::numbered::WorkBuffers work(*reclink::numbered::FindDbNumber(dbno), data);
    if (!work.Ready()) {
      status = B_INSUFFICIENT_MEMORY;
    } else if (op == B_INSERT) {
      status = RECLINK(B_INSERT, slot, work.Copy(), &length, work.Key(), 0);
    } else {
      // An update writes the caller's record; a delete removes the one just read.
      char* written = op == B_UPDATE ? static_cast<char*>(data) : work.Copy();
      // While another user changes the record between our read and our write,
      // read it again and try again, without pause or limit.
      status = RECLINK(B_GET_EQUAL, slot, work.Copy(), &length, work.Key(), 0);
      while (status == 0) {
        status = RECLINK(op, slot, written, &length, work.Key(), 0);
        if (status != B_CONFLICT) break;
        status = RECLINK(B_GET_EQUAL, slot, work.Copy(), &length, work.Key(), 0);
      }
    }
  }
  const int silent = op == B_INSERT ? B_DUPLICATE_KEY_VALUE : B_KEY_VALUE_NOT_FOUND;
  if (status != 0 && status != silent) DB_ErrMessage(dbno, label, static_cast<short>(status));
  return status;
}

int CRecLink::DB_Insert(int dbno, void* data) {
  return WriteRecord(B_INSERT, "BO_INSERT", "DBInsert Proc DBNo Error = %d", dbno, data);
}

int CRecLink::DB_Update(int dbno, void* data) {
  return WriteRecord(B_UPDATE, "BO_UPDATE", "DBUpdate Proc DBNo Error = %d", dbno, data);
}

int CRecLink::DB_Delete(int dbno, void* data) {
  return WriteRecord(B_DELETE, "BO_DELETE", "DBDelete Proc DBNo Error = %d", dbno, data);
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
