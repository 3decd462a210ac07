#include "recman/storage/sqlite/backend.h"

#include <sqlite3.h>

#include "recman/os/os.h"
#include "recman/storage/sqlite/check.h"
#include "recman/storage/sqlite/create.h"
#include "recman/storage/sqlite/file_locks.h"
#include "recman/storage/sqlite/freeze.h"
#include "recman/storage/sqlite/mapping.h"
#include "recman/storage/sqlite/memory_budget.h"
#include "recman/storage/sqlite/session.h"
#include "recman/storage/sqlite/snapshots.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

class Files final : public Backend {
 public:
  std::shared_ptr<Session> NewSession() override { return std::make_shared<SqliteSession>(); }

  int Open(Session& session, const std::string& name, std::unique_ptr<Table>* out) override {
    std::unique_ptr<SqliteTable> table;
    const int status = SqliteTable::Open(static_cast<SqliteSession&>(session), name, &table);
    if (status == B_NO_ERROR) *out = std::move(table);
    return status;
  }

  int Create(const std::string& name, const FileLayout& layout, bool replace) override {
    if (!os::Exists(name)) {
      const int status = CreateRecordFile(name, layout, false);
      // Another creator was quicker: a replacing Create overwrites its file.
      if (status != B_FILE_ALREADY_EXISTS || !replace) return status;
    } else if (!replace) {
      return B_FILE_ALREADY_EXISTS;
    }
    if (!os::IsRegularFile(name)) return B_CREATE_IO_ERROR;
    // Nobody may have the file open, here or in another process, and nobody
    // may open it until the new file is in place.
    std::shared_ptr<FileLocks> held;
    const int status = FileLocks::LockForReplace(name, &held);
    if (status != B_NO_ERROR) return status;
    return CreateRecordFile(name, layout, true);
  }

  int Freeze(const std::string& name, std::unique_ptr<FileFreeze>* out) override { return FreezeFile(name, out); }

  int Check(const std::string& name, BtrCheckSink sink, void* ctx) override {
    return CheckFile(name, sink, ctx);
  }

  void ForgetAfterFork() override {
    FileLocks::ForgetAfterFork();
    SnapshotReaper::Instance().ForgetAfterFork();
  }

  void SetMemoryBudgetKiB(uint64_t kib) override { sqlite::SetMemoryBudgetKiB(kib); }
};

// Starts SQLite for the engine. Its memory statistics cost a process-wide
// mutex on every allocation (two a Get: the row's buffer is taken and given
// back); the engine reads none of them, its budget being each connection's
// cache, so they are off. A program that started SQLite before keeps its
// own setting (sqlite3_config then refuses, and nothing changes).
void StartSqlite() {
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  sqlite3_initialize();
}

}  // namespace

Backend& SqliteBackend() {
  static Files* files = [] {
    StartSqlite();
    GuardFileMappings();
    return new Files;  // never destroyed: usable until exit
  }();
  return *files;
}

}  // namespace recman::sqlite
