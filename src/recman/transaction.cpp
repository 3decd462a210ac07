// The client's transaction (Begin, End, Abort) and how single operations
// take part in it.
#include <sqlite3.h>

#include <chrono>
#include <random>

#include "recman/call.h"
#include "recman/multi_commit.h"
#include "recman/os.h"
#include "recman/write_scope.h"
#include "reclink/btrieve.h"

namespace recman {

int JoinTransaction(Engine& engine, const std::shared_ptr<RecordFile>& file, Access access) {
  Transaction& txn = engine.transaction();
  if (!txn.active || file->inTransaction) return B_NO_ERROR;
  file->EndSnapshot();
  // The write lock is what makes the transaction exclusive; storage that
  // cannot be written is joined for a consistent read only.
  const int rc = file->writable() ? file->BeginWrite() : file->BeginRead();
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, access);
  file->inTransaction = true;
  txn.files.push_back(file);
  return B_NO_ERROR;
}

int FailureStatus(Engine& engine, RecordFile& file, int rc, Access access) {
  const int status = StatusFromSqlite(rc, access);
  if (file.inTransaction && !file.InSqlTransaction()) {
    // SQLite rolled this file's part of the transaction back on its own
    // (disk full, I/O error): End can no longer commit what the client did.
    Transaction& txn = engine.transaction();
    if (txn.failure == 0) txn.failure = status;
    // Hold the file again, so that other processes stay out until End or
    // Abort, as they would have.
    if (file.writable()) {
      file.BeginWrite();
    } else {
      file.BeginRead();
    }
  }
  return status;
}

WriteScope::~WriteScope() {
  if (open_) file_->Rollback();
}

int WriteScope::Begin(bool grouped) {
  if (!file_->writable()) return B_ACCESS_DENIED;
  file_->EndSnapshot();
  if (engine_.transaction().active) return JoinTransaction(engine_, file_, access_);
  if (!grouped) return B_NO_ERROR;
  const int rc = file_->BeginWrite();
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, access_);
  open_ = true;
  return B_NO_ERROR;
}

int WriteScope::Commit() {
  if (!open_) return B_NO_ERROR;
  const int rc = file_->Commit();
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, access_);
  open_ = false;
  return B_NO_ERROR;
}

int OpBegin(Engine& engine, Call&) {
  Transaction& txn = engine.transaction();
  if (txn.active) return B_TRANSACTION_IS_ACTIVE;
  txn = Transaction{};
  txn.active = true;
  // Unique among the processes that may share a file.
  std::random_device entropy;
  const uint64_t mix = (uint64_t{entropy()} << 32) ^ entropy() ^
                       static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (static_cast<uint64_t>(os::ProcessId()) << 20);
  txn.id = static_cast<int64_t>(mix >> 2) + 1;
  return B_NO_ERROR;
}

namespace {

// Ends the transaction on every joined file: commit or roll back.
int Finish(Engine& engine, bool commit) {
  Transaction& txn = engine.transaction();
  int status = txn.failure;
  if (status != B_NO_ERROR) commit = false;
  std::vector<std::shared_ptr<RecordFile>> written;
  for (const auto& file : txn.files) {
    if (file->txnWritten) written.push_back(file);
  }
  if (commit && written.size() > 1) {
    status = CommitSeveral(txn, written);
    commit = status == B_NO_ERROR;
  }
  for (const std::shared_ptr<RecordFile>& file : txn.files) {
    if (commit && file->InSqlTransaction()) {
      const int rc = file->Commit();
      if (rc != SQLITE_DONE) {
        status = StatusFromSqlite(rc, Access::kFile);
        commit = false;  // what is not committed yet is undone
        if (file->InSqlTransaction()) file->Rollback();
      }
    } else if (file->InSqlTransaction()) {
      file->Rollback();
    }
    file->inTransaction = false;
    file->txnWritten = false;
  }
  txn = Transaction{};
  return status;
}

}  // namespace

int OpEnd(Engine& engine, Call&) {
  if (!engine.transaction().active) return B_NO_TRANSACTION;
  return Finish(engine, true);
}

int OpAbort(Engine& engine, Call&) {
  if (!engine.transaction().active) return B_NO_TRANSACTION;
  Finish(engine, false);
  return B_NO_ERROR;
}

}  // namespace recman
