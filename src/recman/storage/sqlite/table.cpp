// Opening a record file kept in SQLite: its connection, settings and
// statements, and the claims that say the file is open.
#include "recman/storage/sqlite/table.h"

#include <cstdlib>
#include <cstring>

#include "recman/format/stored_layout.h"
#include "recman/os/os.h"
#include "recman/storage/slots.h"
#include "recman/storage/sqlite/busy.h"
#include "recman/storage/sqlite/memory_budget.h"
#include "recman/storage/sqlite/multi_commit.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/session.h"
#include "recman/storage/sqlite/snapshots.h"
#include "recman/storage/sqlite/status_map.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

// Settings of every connection besides its cache share: temporary data in
// memory, commits synced, a kept log cut back to 4 MiB after checkpoints.
constexpr const char* kConnectionSettings =
    "PRAGMA temp_store = MEMORY; PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 4194304;";

// How much of a file a connection maps. Test seam: RECMAN_TEST_NO_MAPPING
// makes every page go through the page cache, as on a system that maps
// nothing, so that tests can see the cache budget at work.
int64_t MappedBytes() {
#ifdef RECMAN_TEST_SEAMS
  if (std::getenv("RECMAN_TEST_NO_MAPPING") != nullptr) return 0;
#endif
  return os::MappedBytesPerFile();
}

int OpenDb(const std::string& name, int flags, sqlite3** db) {
  const int rc = sqlite3_open_v2(name.c_str(), db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (*db != nullptr) {
    sqlite3_extended_result_codes(*db, 1);
    InstallBusyHandler(*db);
  }
  return rc;
}

// A write-ahead log or index left by a process that could not give this one
// write access (a reader of another user) would make every write of this
// one fail.
bool CompanionsLockUsOut(const std::string& path) {
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string companion = path + suffix;
    if (os::Exists(companion) && os::CheckFileWritable(companion) != os::Fail::kNone) return true;
  }
  return false;
}

// When nobody else has the file open, such companions are replaced by
// copies that this process owns: the same bytes, nothing lost.
void ReclaimCompanions(const std::string& path) {
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string companion = path + suffix;
    if (!os::Exists(companion) || os::CheckFileWritable(companion) == os::Fail::kNone) continue;
    // The index is rebuilt from the log; the log may hold commits not yet
    // in the file, so it is copied.
    if (std::strcmp(suffix, "-shm") == 0) {
      os::RemoveFile(companion);
      continue;
    }
    const std::string copy = companion + ".reclaim-" + std::to_string(os::ProcessId());
    if (os::CopyFile(companion, copy) != os::Fail::kNone ||
        os::RenameReplace(copy, companion) != os::Fail::kNone) {
      os::RemoveFile(copy);
    }
  }
}

}  // namespace

bool SqliteTable::CompanionsExist(const std::string& path) {
  return os::Exists(path + "-wal") && os::Exists(path + "-shm");
}

bool SqliteTable::NeedsImmutableRetry(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY || rc == SQLITE_IOERR_SHMOPEN ||
         rc == SQLITE_IOERR_SHMSIZE || rc == SQLITE_IOERR_SHMMAP;
}

std::string SqliteTable::Uri(const std::string& path, const char* param) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      uri += hex;
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?" + param;
}

int SqliteTable::ReadHeader(sqlite3* db, FileLayout* layout, int* status) {
  Statement header;
  int rc = header.Prepare(db, ReadHeaderSql());
  if (rc != SQLITE_OK) return rc;
  StatementUse use(header);
  rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) {
    *status = B_NOT_A_BTRIEVE_FILE;
    return SQLITE_OK;
  }
  if (rc != SQLITE_ROW) return rc;
  const char* magic = reinterpret_cast<const char*>(sqlite3_column_text(*use, 0));
  const char* image = static_cast<const char*>(sqlite3_column_blob(*use, 2));
  if (magic == nullptr || std::strcmp(magic, kFileMagic) != 0 ||
      !ReadStoredLayout(sqlite3_column_int64(*use, 1), kFormatVersion,
                        std::string(image != nullptr ? image : "", static_cast<size_t>(sqlite3_column_bytes(*use, 2))),
                        layout)) {
    *status = B_NOT_A_BTRIEVE_FILE;
    return SQLITE_OK;
  }
  *status = B_NO_ERROR;
  return SQLITE_OK;
}

int SqliteTable::Open(SqliteSession& session, const std::string& path, std::unique_ptr<SqliteTable>* out) {
  std::unique_ptr<SqliteTable> table(new SqliteTable(session, path));
  int status = FileLocks::Acquire(path, &table->locks_);
  if (status != B_NO_ERROR) return status;
  // A process that may not write the file opens it without ever creating
  // the log and index beside it: files it made would lock out the owner.
  table->writable_ = os::CheckFileWritable(path) == os::Fail::kNone;
  // Only then is the claim taken exclusively for a moment: a claim taken
  // that way on every Open would turn other processes' Opens away.
  const bool reclaim = table->writable_ && CompanionsLockUsOut(path);
  status = table->locks_->ClaimShared(reclaim ? ReclaimCompanions : nullptr);
  if (status != B_NO_ERROR) return status;
  table->claimed_ = true;
  status = table->OpenConnection(table->writable_);
  if (status != B_NO_ERROR) return status;
  *out = std::move(table);
  return B_NO_ERROR;
}

int SqliteTable::OpenConnection(bool forWriting) {
  // A process that may not write the file reads through the log and index a
  // writer made, never creating either (SQLite would make an empty log even
  // for a reader); without them, it reads the file as it stands.
  const bool shared = forWriting || CompanionsExist(path_);
  int rc = forWriting ? OpenDb(path_, SQLITE_OPEN_READWRITE, &db_)
                      : OpenDb(Uri(path_, shared ? "readonly_shm=1" : "immutable=1"),
                               SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &db_);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  AddConnectionToBudget();
  int status = B_NO_ERROR;
  rc = ReadHeader(db_, &layout_, &status);
  // A reader that may not write cannot rebuild an index a crash left behind.
  if (rc != SQLITE_OK && shared && (NeedsImmutableRetry(rc) || (!forWriting && rc == SQLITE_PROTOCOL))) {
    // No index to share (a read-only medium, or none made yet and this
    // process may not make one): read the file as it stands.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    rc = OpenDb(Uri(path_, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &db_);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
    rc = ReadHeader(db_, &layout_, &status);
    writable_ = false;
  }
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  if (status != B_NO_ERROR) return status;
  if (sqlite3_db_readonly(db_, "main") == 1) writable_ = false;
  rc = sqlite3_exec(db_, kConnectionSettings, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  // Pages are read through a mapping of the file (guarded, see mapping.h).
  const std::string mapping = "PRAGMA mmap_size = " + std::to_string(MappedBytes());
  sqlite3_exec(db_, mapping.c_str(), nullptr, nullptr, nullptr);
  ApplyBudget();
  // The log and its index stay when the last connection closes, so that a
  // reader arriving later finds them made by a writer.
  int persist = 1;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  SizeStatements();
  if (writable_) SettleLeftovers();
  return B_NO_ERROR;
}

void SqliteTable::SizeStatements() {
  const size_t keys = layout_.keys.size();
  seek_.resize(SeekSlots(keys));
  walks_.resize(DirectedSlots(keys));
  scans_.resize(DirectedSlots(keys));
  countValues_.resize(keys);
  countOnPath_.resize(DirectedSlots(keys));
  nth_.resize(keys + 1);
}

void SqliteTable::ForgetStatements() {
  EndCall();
  EndSnapshot();
  seek_.clear();
  walks_.clear();
  scans_.clear();
  countValues_.clear();
  countOnPath_.clear();
  nth_.clear();
  for (Statement* s : {&row_, &insert_, &update_, &erase_, &nextSeq_, &count_, &pending_, &saveBefore_,
                       &saveInserted_, &begin_, &beginRead_, &commit_, &rollback_, &savepoint_, &rollbackTo_,
                       &hasOwner_, &readOwner_}) {
    s->Finalize();
  }
  for (Statement& s : step_) s.Finalize();
}

SqliteTable::~SqliteTable() {
  SnapshotReaper::Instance().Forget(this);
  Unmark();
  ForgetStatements();
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    RemoveConnectionFromBudget();
  }
  // Only after SQLite let go of the file may the process's handle close.
  if (exclusive_) locks_->DropExclusive();
  if (claimed_) locks_->ReleaseShared();
}

Session& SqliteTable::session() { return session_; }

uint8_t SqliteTable::fileVersion() const { return kFormatVersion; }

void SqliteTable::SettleLeftovers() {
  // What a process that stopped in the middle of ending a transaction over
  // several files left here: settled now when the coordinator can be asked,
  // else at the first write.
  bool pending = false;
  if (Ready(pending_, [&] { return PendingSql(); }) == SQLITE_OK) {
    StatementUse use(pending_);
    pending = sqlite3_step(*use) == SQLITE_ROW;
  }
  if (pending && TakeWriteLock(Access::kFile) == B_NO_ERROR) Rollback();  // settled; nothing else to do
  bool decided = false;
  Statement any;
  if (any.Prepare(db_, "SELECT 1 FROM recman_decided LIMIT 1") == SQLITE_OK) {
    StatementUse use(any);
    decided = sqlite3_step(*use) == SQLITE_ROW;
  }
  if (decided) SettleCoordinator(db_, path_);
}


sqlite3_stmt* SqliteTable::Hold(const Statement& s) {
  EndCall();
  held_ = s.get();
  return held_;
}

void SqliteTable::EndCall() {
  if (held_ != nullptr) sqlite3_reset(held_);
  held_ = nullptr;
}

int SqliteTable::RunControl(Statement& s, const char* sql) {
  int rc = Ready(s, [sql] { return std::string(sql); });
  if (rc != SQLITE_OK) return rc;
  return RunOnce(s);
}

int SqliteTable::Failure(int rc, Access access) {
  const int status = StatusFromSqlite(rc, access);
  if (joined_ && !InSqlTransaction()) {
    // SQLite undid this file's part of the client's transaction on its own
    // (disk full, I/O error): End can no longer keep what the client did.
    if (lost_ == 0) lost_ = status;
    // Hold the file again, so that other processes stay out until End or
    // Abort, as they would have.
    RunControl(writable_ ? begin_ : beginRead_, writable_ ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
  }
  return status;
}

void SqliteTable::ApplyBudget() {
  const uint64_t generation = BudgetGeneration();
  if (generation == budgetGeneration_) return;
  budgetGeneration_ = generation;
  const std::string sql = "PRAGMA cache_size = -" + std::to_string(CacheShareKiB());
  sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

void SqliteTable::SetDurable(bool full) {
  if (full == durable_) return;
  EndSnapshot();
  durable_ = full;
  sqlite3_exec(db_, full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL", nullptr, nullptr,
               nullptr);
}

int SqliteTable::TryClaim(bool exclusive) {
  if (!exclusive) {
    if (exclusive_) locks_->DropExclusive();
    exclusive_ = false;
    return B_NO_ERROR;
  }
  const int status = locks_->ClaimExclusive();
  if (status == B_NO_ERROR) exclusive_ = true;
  return status;
}

}  // namespace recman::sqlite
