#include "recman/storage/sqlite/session.h"

#include <chrono>
#include <random>

#include "recman/os/os.h"
#include "recman/storage/sqlite/multi_commit.h"
#include "recman/storage/sqlite/status_map.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {

int64_t SqliteSession::UndoNeeded(SqliteTable& table) {
  if (coordinator_ == nullptr) coordinator_ = &table;
  if (coordinator_ == &table) return 0;
  if (txid_ == 0) {
    // Unique among the processes and clients that may share a file.
    std::random_device entropy;
    const uint64_t mix = (uint64_t{entropy()} << 32) ^ entropy() ^
                         static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                         (static_cast<uint64_t>(os::ProcessId()) << 20);
    txid_ = static_cast<int64_t>(mix >> 2) + 1;
  }
  return txid_;
}

int SqliteSession::Commit(const std::vector<Table*>& tables) {
  int status = B_NO_ERROR;
  std::vector<SqliteTable*> written;
  for (Table* t : tables) {
    SqliteTable* table = static_cast<SqliteTable*>(t);
    if (status == B_NO_ERROR) status = table->lost();
    if (table->written()) written.push_back(table);
  }
  for (Table* t : tables) static_cast<SqliteTable*>(t)->Unmark();
  bool commit = status == B_NO_ERROR;
  if (commit && written.size() > 1) {
    status = CommitSeveral(txid_, *coordinator_, written);
    commit = status == B_NO_ERROR;
  }
  for (Table* t : tables) {
    SqliteTable* table = static_cast<SqliteTable*>(t);
    if (commit && table->InSqlTransaction()) {
      const int rc = table->Commit();
      if (rc != SQLITE_DONE) {
        status = StatusFromSqlite(rc, Access::kFile);
        commit = false;  // what is not committed yet is undone
        table->Rollback();
      }
    } else {
      table->Rollback();
    }
    table->Unjoin();
  }
  Reset();
  return status;
}

void SqliteSession::Rollback(const std::vector<Table*>& tables) {
  for (Table* t : tables) {
    SqliteTable* table = static_cast<SqliteTable*>(t);
    table->Unmark();
    table->Abandon();
    table->Unjoin();
  }
  Reset();
}

void SqliteSession::Reset() {
  coordinator_ = nullptr;
  txid_ = 0;
}

}  // namespace recman::sqlite
