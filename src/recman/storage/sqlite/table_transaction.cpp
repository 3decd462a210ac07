// The client's transaction on a record file kept in SQLite: joined under
// the file's write lock, ended by the session.
#include "recman/storage/sqlite/busy.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/status_map.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
int SqliteTable::Join(bool wait) {
  if (joined_) return B_NO_ERROR;
  EndSnapshot();
  EndCall();
  // The write lock is what makes the transaction exclusive; storage that
  // cannot be written is joined for a consistent read only.
  if (writable_) {
    if (!wait) sqlite3_busy_handler(db_, nullptr, nullptr);
    const int status = TakeWriteLock(Access::kFile);
    if (!wait) InstallBusyHandler(db_);
    if (status != B_NO_ERROR) return status;
    // Abort undoes to here and keeps the position counter (Abandon).
    const int rc = RunControl(savepoint_, "SAVEPOINT client_transaction");
    if (rc != SQLITE_DONE) {
      Rollback();
      return StatusFromSqlite(rc, Access::kFile);
    }
    locks_->MarkTransaction();
    marked_ = true;
  } else {
    const int rc = RunControl(beginRead_, "BEGIN DEFERRED");
    if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Access::kFile);
  }
  joined_ = true;
  written_ = false;
  lost_ = 0;
  return B_NO_ERROR;
}

int SqliteTable::Commit() { return RunControl(commit_, "COMMIT"); }

void SqliteTable::Rollback() {
  EndCall();
  if (InSqlTransaction()) RunControl(rollback_, "ROLLBACK");
}

void SqliteTable::Abandon() {
  EndCall();
  // A failure that undid the transaction on its own took the savepoint
  // with it: then ROLLBACK TO fails and a plain ROLLBACK is all there is.
  const int64_t handedOut = written_ && InSqlTransaction() ? HandedOut() : -1;
  if (handedOut > 0 && RunControl(rollbackTo_, "ROLLBACK TO client_transaction") == SQLITE_DONE) {
    const int64_t before = HandedOut();
    if (before >= 0 && before < handedOut &&
        sqlite3_exec(db_, SetHandedOutSql(handedOut).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
        RunControl(commit_, "COMMIT") == SQLITE_DONE) {
      return;
    }
  }
  Rollback();
}

int64_t SqliteTable::HandedOut() {
  Statement s;
  if (s.Prepare(db_, HandedOutSql()) != SQLITE_OK) return -1;
  StatementUse use(s);
  return sqlite3_step(*use) == SQLITE_ROW ? sqlite3_column_int64(*use, 0) : -1;
}

void SqliteTable::Unmark() {
  if (marked_) locks_->UnmarkTransaction();
  marked_ = false;
}

void SqliteTable::Unjoin() {
  joined_ = false;
  written_ = false;
  lost_ = 0;
}

}  // namespace recman::sqlite
