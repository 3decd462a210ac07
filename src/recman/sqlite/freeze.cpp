// A SQLite file in WAL mode changes only when a checkpoint copies committed
// pages from the log into it, and a checkpoint never copies past what the
// oldest open read transaction sees. So a read transaction that sees
// exactly what the file itself holds (every frame of the log copied in)
// keeps the file unchanged for as long as it stays open: commits go on into
// the log, and the next checkpoint after it ends copies them in.
#include "recman/sqlite/freeze.h"

#include <sqlite3.h>

#include <chrono>

#include "recman/lock_wait.h"
#include "recman/sqlite/file_locks.h"
#include "recman/sqlite/table.h"
#include "recman/status_map.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

class SqliteFreeze final : public FileFreeze {
 public:
  ~SqliteFreeze() override {
    if (db_ != nullptr) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close_v2(db_);
    }
    if (claimed_) locks_->ReleaseShared();
  }

  // Opens the file and holds the process's claim on it, as an Open does:
  // a Create may not replace the file while it is frozen.
  int Open(const std::string& path) {
    int status = FileLocks::Acquire(path, &locks_);
    if (status != B_NO_ERROR) return status;
    if ((status = locks_->ClaimShared()) != B_NO_ERROR) return status;
    claimed_ = true;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
    sqlite3_extended_result_codes(db_, 1);
    InstallBusyHandler(db_);
    FileLayout layout;
    const int header = SqliteTable::ReadHeader(db_, &layout, &status);
    return header != SQLITE_OK ? StatusFromSqlite(header, Access::kOpen) : status;
  }

  // Copies the log into the file, then begins a read transaction; when the
  // log held a frame not yet copied in as it began (a commit came in
  // between), tries again until the lock timeout.
  int Begin(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockTimeoutMs());
    for (;;) {
      int rc = sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
      if (rc != SQLITE_OK && rc != SQLITE_BUSY) return StatusFromSqlite(rc, Access::kFile);
      rc = sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM recman_file", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kFile);
      bool settled = false;
      if ((rc = Settled(path, &settled)) != SQLITE_OK) return StatusFromSqlite(rc, Access::kFile);
      if (settled) return B_NO_ERROR;
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      if (std::chrono::steady_clock::now() >= deadline) return B_FILE_INUSE;
    }
  }

 private:
  // Whether every frame of the log is in the file now. A checkpoint cannot
  // copy past what the read transaction sees, so when it leaves nothing
  // uncopied, the transaction sees no frame the file lacks.
  static int Settled(const std::string& path, bool* settled) {
    sqlite3* probe = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &probe, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    int log = -1, copied = -1;
    // A connection knows the file's log only once it has read the file.
    if (rc == SQLITE_OK) rc = sqlite3_exec(probe, "SELECT count(*) FROM recman_file", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_wal_checkpoint_v2(probe, "main", SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
    sqlite3_close_v2(probe);
    *settled = rc == SQLITE_OK && log >= 0 && log == copied;
    return rc == SQLITE_BUSY ? SQLITE_OK : rc;  // another checkpoint ran: try again
  }

  std::shared_ptr<FileLocks> locks_;  // the process's handle and claim
  bool claimed_ = false;              // the shared claim is held
  sqlite3* db_ = nullptr;             // holds the read transaction
};

}  // namespace

int FreezeFile(const std::string& path, std::unique_ptr<FileFreeze>* out) {
  auto freeze = std::make_unique<SqliteFreeze>();
  int status = freeze->Open(path);
  if (status == B_NO_ERROR) status = freeze->Begin(path);
  if (status == B_NO_ERROR) *out = std::move(freeze);
  return status;
}

}  // namespace recman::sqlite
