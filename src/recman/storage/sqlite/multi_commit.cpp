#include "recman/storage/sqlite/multi_commit.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "recman/storage/sqlite/busy.h"
#include "recman/os/os.h"
#include "recman/storage/sqlite/file_locks.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/statement.h"
#include "recman/storage/sqlite/table.h"
#include "recman/storage/sqlite/status_map.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

enum class Decision { kCommitted, kAborted, kUnknown };

// Runs sql with txid bound to ?1 (if the statement has it). Returns the
// SQLite code (SQLITE_DONE on success).
int Exec(sqlite3* db, const std::string& sql, int64_t txid) {
  Statement s;
  int rc = s.Prepare(db, sql);
  if (rc != SQLITE_OK) return rc;
  StatementUse use(s);
  if (sqlite3_bind_parameter_count(*use) > 0) sqlite3_bind_int64(*use, 1, txid);
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
  }
  return rc;
}

// Whether sql (a SELECT with ?1 = txid) returns a row; false on failure.
bool Exists(sqlite3* db, const char* sql, int64_t txid) {
  Statement s;
  if (s.Prepare(db, sql) != SQLITE_OK) return false;
  StatementUse use(s);
  sqlite3_bind_int64(*use, 1, txid);
  return sqlite3_step(*use) == SQLITE_ROW;
}

// Runs body inside a write transaction of its own on db. Returns true when
// it committed.
template <typename Body>
bool InWriteTransaction(sqlite3* db, Body body) {
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  if (!body() || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

// Drops the marker and undo images of txid: its changes stay.
bool Forget(sqlite3* db, int64_t txid) {
  return Exec(db, "DELETE FROM recman_undo WHERE txid = ?1", txid) == SQLITE_DONE &&
         Exec(db, "DELETE FROM recman_pending WHERE txid = ?1", txid) == SQLITE_DONE;
}

// Puts back what txid changed, if its marker is still there (whoever settles
// first does it, once).
bool Undo(sqlite3* db, const FileLayout& layout, int64_t txid) {
  if (!Exists(db, "SELECT 1 FROM recman_pending WHERE txid = ?1", txid)) return true;
  return Exec(db, "DELETE FROM records WHERE pos IN (SELECT pos FROM recman_undo WHERE txid = ?1)",
              txid) == SQLITE_DONE &&
         Exec(db, RestoreSql(layout), txid) == SQLITE_DONE && Forget(db, txid);
}

// A connection of its own to another file, for settling. It holds the
// process's locks of that file for as long as it is open.
struct Side {
  std::shared_ptr<FileLocks> locks;  // released after db closes
  sqlite3* db = nullptr;             // owned
  explicit Side(const std::string& path) {
    if (!os::IsRegularFile(path) || FileLocks::Acquire(path, &locks) != B_NO_ERROR) return;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db);
      db = nullptr;
      return;
    }
    sqlite3_extended_result_codes(db, 1);
    InstallBusyHandler(db);
  }
  ~Side() {
    sqlite3_close_v2(db);
    locks.reset();
  }
};

// Asks the coordinator at path whether txid happened. Its write lock is
// taken first: an End still running elsewhere finishes before the answer.
Decision Ask(const std::string& path, int64_t txid) {
  Side side(path);
  if (side.db == nullptr) return Decision::kUnknown;
  Decision answer = Decision::kUnknown;
  InWriteTransaction(side.db, [&] {
    Statement s;
    if (s.Prepare(side.db, "SELECT 1 FROM recman_decided WHERE txid = ?1") != SQLITE_OK) return false;
    StatementUse use(s);
    sqlite3_bind_int64(*use, 1, txid);
    const int rc = sqlite3_step(*use);
    if (rc == SQLITE_ROW) answer = Decision::kCommitted;
    if (rc == SQLITE_DONE) answer = Decision::kAborted;
    return true;
  });
  return answer;
}

#ifdef RECMAN_TEST_SEAMS
// Test seam: a process asked to stop at a point of End stops there, as if
// the machine went down.
void StopHereIfAsked(const char* point) {
  const char* at = std::getenv("RECMAN_TEST_CRASH_IN_END");
  if (at != nullptr && std::strcmp(at, point) == 0) os::ExitNow(86);
}
#else
void StopHereIfAsked(const char*) {}
#endif

int Bind2(const Statement& s, int64_t txid, const std::string& text) {
  StatementUse use(s);
  sqlite3_bind_int64(*use, 1, txid);
  sqlite3_bind_text(*use, 2, text.c_str(), static_cast<int>(text.size()), SQLITE_STATIC);
  return sqlite3_step(*use);
}

// The rows of sql: txid and a text.
std::vector<std::pair<int64_t, std::string>> ReadRows(sqlite3* db, const char* sql) {
  std::vector<std::pair<int64_t, std::string>> out;
  Statement s;
  if (s.Prepare(db, sql) != SQLITE_OK) return out;
  StatementUse use(s);
  while (sqlite3_step(*use) == SQLITE_ROW) {
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(*use, 1));
    out.emplace_back(sqlite3_column_int64(*use, 0), t ? t : "");
  }
  return out;
}

}  // namespace

int CommitSeveral(int64_t txid, SqliteTable& coordinator, const std::vector<SqliteTable*>& written) {
  const std::string coordinatorDir = os::DirectoryOf(coordinator.path());
  std::string participants;
  for (SqliteTable* table : written) {
    if (table != &coordinator) participants += os::RelativePath(coordinatorDir, table->path()) + "\n";
  }
  std::vector<SqliteTable*> committed;
  int rc = SQLITE_DONE;
  for (SqliteTable* table : written) {
    if (table == &coordinator) continue;
    Statement mark;
    rc = mark.Prepare(table->db(), "INSERT INTO recman_pending(txid, coordinator) VALUES(?1, ?2)");
    if (rc == SQLITE_OK) {
      rc = Bind2(mark, txid, os::RelativePath(os::DirectoryOf(table->path()), coordinator.path()));
    }
    if (rc == SQLITE_DONE) rc = table->Commit();
    if (rc != SQLITE_DONE) break;
    committed.push_back(table);
    StopHereIfAsked("participant");
  }
  if (rc == SQLITE_DONE) {
    Statement decide;
    rc = decide.Prepare(coordinator.db(), "INSERT INTO recman_decided(txid, participants) VALUES(?1, ?2)");
    if (rc == SQLITE_OK) rc = Bind2(decide, txid, participants);
    if (rc == SQLITE_DONE) rc = coordinator.Commit();
  }
  if (rc != SQLITE_DONE) {
    // Nothing happened: undo what the participants already committed,
    // unless a process that wanted to write one of them did it first.
    for (SqliteTable* table : written) table->Rollback();
    for (SqliteTable* table : committed) {
      InWriteTransaction(table->db(), [&] { return Undo(table->db(), table->layout(), txid); });
    }
    return StatusFromSqlite(rc, Access::kFile);
  }
  StopHereIfAsked("decided");
  // The transaction happened. Tidy up; whatever fails here is tidied by the
  // next write or Open of the file.
  bool clean = true;
  for (SqliteTable* table : committed) {
    clean = InWriteTransaction(table->db(), [&] { return Forget(table->db(), txid); }) && clean;
  }
  if (clean) Exec(coordinator.db(), "DELETE FROM recman_decided WHERE txid = ?1", txid);
  return B_NO_ERROR;
}

int SettleParticipant(sqlite3* db, const FileLayout& layout, const std::string& path) {
  const std::string dir = os::DirectoryOf(path);
  for (const auto& [txid, coordinator] : ReadRows(db, "SELECT txid, coordinator FROM recman_pending")) {
    std::string coordinatorPath;
    if (os::CanonicalPath(os::Join(dir, coordinator), &coordinatorPath) != os::Fail::kNone) {
      // The coordinator is gone with its decision: keep what is here.
      if (!Forget(db, txid)) return B_IO_ERROR;
      continue;
    }
    switch (Ask(coordinatorPath, txid)) {
      case Decision::kCommitted:
        if (!Forget(db, txid)) return B_IO_ERROR;
        break;
      case Decision::kAborted:
        if (!Undo(db, layout, txid)) return B_IO_ERROR;
        break;
      case Decision::kUnknown:
        return B_FILE_INUSE;
    }
  }
  return B_NO_ERROR;
}

void SettleCoordinator(sqlite3* db, const std::string& path) {
  const std::string dir = os::DirectoryOf(path);
  for (const auto& row : ReadRows(db, "SELECT txid, participants FROM recman_decided")) {
    const int64_t txid = row.first;
    const std::string& participants = row.second;
    bool clean = true;
    size_t start = 0;
    for (size_t end; (end = participants.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string participant = os::Join(dir, participants.substr(start, end - start));
      if (!os::Exists(participant)) continue;  // gone: nothing waits there
      Side side(participant);
      clean = side.db != nullptr && InWriteTransaction(side.db, [&] { return Forget(side.db, txid); }) && clean;
    }
    if (clean) Exec(db, "DELETE FROM recman_decided WHERE txid = ?1", txid);
  }
}

}  // namespace recman::sqlite
