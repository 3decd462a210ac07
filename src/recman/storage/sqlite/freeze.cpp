// A SQLite file in WAL mode changes only when a checkpoint copies committed
// pages from the log into it, and a checkpoint never copies past what the
// oldest open read transaction sees. So a read transaction that sees
// exactly what the file itself holds (every frame of the log copied in)
// keeps the file unchanged for as long as it stays open: commits go on into
// the log, and the next checkpoint after it ends copies them in.
#include "recman/storage/sqlite/freeze.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "recman/engine/lock_wait.h"
#include "recman/storage/sqlite/busy.h"
#include "recman/storage/sqlite/file_locks.h"
#include "recman/storage/sqlite/table.h"
#include "recman/storage/sqlite/status_map.h"
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

  // Begins the read transaction with every frame of the log copied into
  // the file. Writers wait meanwhile (another connection holds the write
  // lock), so that no commit comes between the copy and the read; a reader
  // of an older state that keeps a frame from being copied makes it try
  // again, until the lock timeout (85).
  int Begin(const std::string& path) {
    sqlite3* writer = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &writer, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_extended_result_codes(writer, 1);
      InstallBusyHandler(writer);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockTimeoutMs());
    bool settled = false;
    while (rc == SQLITE_OK && !settled) {
      if ((rc = sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr)) != SQLITE_OK) break;
      int log = -1, copied = -1;
      rc = sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
      settled = rc == SQLITE_OK && log >= 0 && log == copied;
      if (settled) rc = sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM recman_file", nullptr, nullptr, nullptr);
      sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
      if (rc == SQLITE_BUSY) rc = SQLITE_OK;  // another checkpoint was running: again
      if (rc == SQLITE_OK && !settled) {
        if (std::chrono::steady_clock::now() >= deadline) rc = SQLITE_BUSY;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    sqlite3_close_v2(writer);
    return rc == SQLITE_OK ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
  }

 private:
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
