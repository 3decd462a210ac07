#include "recman/multi_commit.h"

#include <cstdlib>
#include <cstring>

#include "recman/lock_wait.h"
#include "recman/os.h"
#include "recman/schema.h"
#include "recman/statement.h"
#include "recman/status_map.h"
#include "reclink/btrieve.h"

namespace recman {
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

// Runs body inside its own write transaction on db. Returns true when it
// committed.
template <typename Body>
bool InWriteTransaction(sqlite3* db, Body body) {
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  if (!body() || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

bool Forget(sqlite3* db, int64_t txid) {
  return Exec(db, "DELETE FROM recman_undo WHERE txid = ?1", txid) == SQLITE_DONE &&
         Exec(db, "DELETE FROM recman_pending WHERE txid = ?1", txid) == SQLITE_DONE;
}

bool Undo(sqlite3* db, const FileLayout& layout, int64_t txid) {
  return Exec(db, "DELETE FROM records WHERE pos IN (SELECT pos FROM recman_undo WHERE txid = ?1)",
              txid) == SQLITE_DONE &&
         Exec(db, RestoreSql(layout), txid) == SQLITE_DONE && Forget(db, txid);
}

// A connection of its own to another file, for settling.
struct Side {
  sqlite3* db = nullptr;  // owned
  explicit Side(const std::string& path) {
    if (!os::IsRegularFile(path)) return;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
      sqlite3_close_v2(db);
      db = nullptr;
      return;
    }
    InstallBusyHandler(db);
  }
  ~Side() { sqlite3_close_v2(db); }
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

// Test hook: a process asked to stop at a point of End stops there, as if
// the machine went down.
void StopHereIfAsked(const char* point) {
  const char* at = std::getenv("RECMAN_TEST_CRASH_IN_END");
  if (at != nullptr && std::strcmp(at, point) == 0) os::ExitNow(86);
}

int Bind2(const Statement& s, int64_t txid, const std::string& text) {
  StatementUse use(s);
  sqlite3_bind_int64(*use, 1, txid);
  sqlite3_bind_text(*use, 2, text.c_str(), static_cast<int>(text.size()), SQLITE_STATIC);
  return sqlite3_step(*use);
}

}  // namespace

int NoteWrite(Engine& engine, RecordFile& file, int64_t pos, bool inserted) {
  Transaction& txn = engine.transaction();
  if (!txn.active) return B_NO_ERROR;
  file.txnWritten = true;
  if (txn.firstWritten == nullptr) txn.firstWritten = &file;
  if (txn.firstWritten == &file) return B_NO_ERROR;
  StatementUse use(inserted ? file.saveInserted() : file.saveBefore());
  sqlite3_bind_int64(*use, 1, txn.id);
  sqlite3_bind_int64(*use, 2, pos);
  const int rc = sqlite3_step(*use);
  return rc == SQLITE_DONE ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
}

int CommitSeveral(Transaction& txn, const std::vector<std::shared_ptr<RecordFile>>& written) {
  RecordFile& coordinator = *txn.firstWritten;
  std::string participants;
  for (const auto& file : written) {
    if (file.get() != &coordinator) participants += file->path() + "\n";
  }
  std::vector<RecordFile*> committed;
  int rc = SQLITE_DONE;
  for (const auto& file : written) {
    if (file.get() == &coordinator) continue;
    Statement mark;
    rc = mark.Prepare(file->db(), "INSERT INTO recman_pending(txid, coordinator) VALUES(?1, ?2)");
    if (rc == SQLITE_OK) rc = Bind2(mark, txn.id, coordinator.path());
    if (rc == SQLITE_DONE) rc = file->Commit();
    if (rc != SQLITE_DONE) break;
    committed.push_back(file.get());
    StopHereIfAsked("participant");
  }
  if (rc == SQLITE_DONE) {
    Statement decide;
    rc = decide.Prepare(coordinator.db(),
                        "INSERT INTO recman_decided(txid, participants) VALUES(?1, ?2)");
    if (rc == SQLITE_OK) rc = Bind2(decide, txn.id, participants);
    if (rc == SQLITE_DONE) rc = coordinator.Commit();
  }
  if (rc != SQLITE_DONE) {
    // Nothing happened: undo what the participants already committed.
    for (const auto& file : written) {
      if (file->InSqlTransaction()) file->Rollback();
    }
    for (RecordFile* file : committed) {
      InWriteTransaction(file->db(), [&] { return Undo(file->db(), file->layout(), txn.id); });
    }
    return StatusFromSqlite(rc, Access::kFile);
  }
  StopHereIfAsked("decided");
  // The transaction happened. Tidy up; whatever fails here the next Open
  // of the file tidies instead.
  bool clean = true;
  for (RecordFile* file : committed) {
    clean = InWriteTransaction(file->db(), [&] { return Forget(file->db(), txn.id); }) && clean;
  }
  if (clean) Exec(coordinator.db(), "DELETE FROM recman_decided WHERE txid = ?1", txn.id);
  return B_NO_ERROR;
}

void SettleLeftovers(sqlite3* db, const FileLayout& layout) {
  struct Left {
    int64_t txid;      // transaction
    std::string text;  // coordinator (pending) or participants (decided)
  };
  auto read = [&](const char* sql) {
    std::vector<Left> out;
    Statement s;
    if (s.Prepare(db, sql) != SQLITE_OK) return out;
    StatementUse use(s);
    while (sqlite3_step(*use) == SQLITE_ROW) {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(*use, 1));
      out.push_back({sqlite3_column_int64(*use, 0), t ? t : ""});
    }
    return out;
  };
  // As a participant: ask the coordinator.
  for (const Left& left : read("SELECT txid, coordinator FROM recman_pending")) {
    switch (Ask(left.text, left.txid)) {
      case Decision::kCommitted:
        InWriteTransaction(db, [&] { return Forget(db, left.txid); });
        break;
      case Decision::kAborted:
        InWriteTransaction(db, [&] { return Undo(db, layout, left.txid); });
        break;
      case Decision::kUnknown:  // coordinator busy or gone: leave it for later
        break;
    }
  }
  // As a coordinator: make sure no participant still waits, then forget.
  for (const Left& left : read("SELECT txid, participants FROM recman_decided")) {
    bool clean = true;
    size_t start = 0;
    for (size_t end; (end = left.text.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string path = left.text.substr(start, end - start);
      if (!os::Exists(path)) continue;  // gone: nothing waits there
      Side side(path);
      clean = side.db != nullptr &&
              InWriteTransaction(side.db, [&] { return Forget(side.db, left.txid); }) && clean;
    }
    if (clean) Exec(db, "DELETE FROM recman_decided WHERE txid = ?1", left.txid);
  }
}

}  // namespace recman
