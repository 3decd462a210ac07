#include "recman/storage/sqlite/table.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "recman/format/key_codec.h"
#include "recman/format/stored_layout.h"
#include "recman/storage/sqlite/busy.h"
#include "recman/os/os.h"
#include "recman/storage/sqlite/memory_budget.h"
#include "recman/storage/sqlite/multi_commit.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/session.h"
#include "recman/storage/sqlite/status_map.h"
#include "recman/storage/sqlite/snapshots.h"
#include "recman/storage/one_write.h"
#include "recman/storage/slots.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

// Settings of every connection besides its cache share: temporary data in
// memory, commits synced, a kept log cut back to 4 MiB after checkpoints.
constexpr const char* kConnectionSettings =
    "PRAGMA temp_store = MEMORY; PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 4194304;";

// Size of one region of SQLite's WAL index (its shared memory); the header
// is at the start of region 0, and readers go by its first 48 bytes.
constexpr int kWalIndexRegion = 32768;
constexpr size_t kWalHeader = 48;

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

void BindText(sqlite3_stmt* stmt, int n, const std::string& value) {
  sqlite3_bind_blob(stmt, n, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
}

// Binds the key columns from parameter `first` on; with seqs, also the place
// of every key with duplicates.
void BindKeys(sqlite3_stmt* stmt, int first, const FileLayout& layout, const EncodedKeys& keys,
              const std::vector<int64_t>* seqs) {
  int n = first;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (keys.present[k]) {
      BindText(stmt, n++, keys.value[k]);
    } else {
      sqlite3_bind_null(stmt, n++);
    }
    if (seqs != nullptr && layout.keys[k].duplicates) sqlite3_bind_int64(stmt, n++, (*seqs)[k]);
  }
}

// The row stmt stands on: pos, ver, data, and on a key path (keyed) the
// encoded key and the place among duplicates.
void FillRow(sqlite3_stmt* stmt, bool keyed, Row* row) {
  row->pos = sqlite3_column_int64(stmt, 0);
  row->ver = sqlite3_column_int64(stmt, 1);
  row->data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 2));
  row->length = static_cast<uint32_t>(sqlite3_column_bytes(stmt, 2));
  row->key = keyed ? static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 3)) : nullptr;
  row->keyLength = keyed ? static_cast<uint32_t>(sqlite3_column_bytes(stmt, 3)) : 0;
  row->seq = keyed ? sqlite3_column_int64(stmt, 4) : 0;
}

// Runs statements in order until one fails. Returns the SQLite code.
int ExecAll(sqlite3* db, const std::vector<std::string>& statements) {
  for (const std::string& sql : statements) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
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

// --- read snapshots ------------------------------------------------------------

bool SqliteTable::MapWalIndex() {
  if (shm_ != nullptr) return true;
  // SQLite's own mapping of the index, asked of the file through its VFS
  // methods. No descriptor of ours may touch the -shm file: closing one
  // would drop the locks SQLite holds on it, and another process would then
  // take the index for abandoned and reset it under this one.
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
      file->pMethods->xShmMap == nullptr) {
    return false;
  }
  void volatile* region = nullptr;
  // Region 0 exists once the connection has read the file in WAL mode;
  // without extending, nothing is created here.
  if (file->pMethods->xShmMap(file, 0, kWalIndexRegion, 0, &region) != SQLITE_OK || region == nullptr) {
    return false;
  }
  shm_ = const_cast<const unsigned char*>(static_cast<volatile unsigned char*>(region));
  return true;
}

void SqliteTable::PrepareRead() {
  EndCall();
  ApplyBudget();
  if (!writable_ || joined_) return;
  unsigned char header[kWalHeader];
  const bool watched = MapWalIndex();
  if (watched) {
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(header, shm_, kWalHeader);
  }
  const Clock::time_point now = Clock::now();
  if (snapshotOpen_) {
    const bool fresh = watched && std::memcmp(header, snapshotHeader_, kWalHeader) == 0 &&
                       now - snapshotSince_ < SnapshotReaper::kSnapshotAge;
    if (fresh) return;
    EndSnapshot();
  }
  // Without the index in view (first read of the connection) the read runs
  // on its own; the next one can share.
  if (!watched || RunControl(beginRead_, "BEGIN DEFERRED") != SQLITE_DONE) return;
  std::memcpy(snapshotHeader_, header, kWalHeader);
  snapshotSince_ = now;
  snapshotOpen_ = true;
  ++snapshotGeneration_;
  SnapshotReaper::Instance().Watch(this, now);
}

void SqliteTable::EndSnapshot() {
  if (!snapshotOpen_) return;
  snapshotOpen_ = false;
  for (Walk& walk : walks_) {
    sqlite3_reset(walk.stmt.get());
    walk.owner = 0;
  }
  EndCall();
  RunControl(commit_, "COMMIT");
}

std::optional<SqliteTable::Clock::time_point> SqliteTable::EndSnapshotIfOlder(Clock::time_point before) {
  if (!snapshotOpen_) return std::nullopt;
  if (snapshotSince_ > before) return snapshotSince_;
  EndSnapshot();
  return std::nullopt;
}

// --- reads -----------------------------------------------------------------------

int SqliteTable::Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq,
                      uint64_t walker, Row* row) {
  PrepareRead();
  const bool along = seek == Seek::kNext || seek == Seek::kPrevious;
  // Within one snapshot a walk steps the same statement on from call to
  // call; anywhere else every call seeks afresh from the place it is given.
  Walk* walk = along && snapshotOpen_ && walker != 0 ? &walks_[DirectedSlot(key, seek != Seek::kNext)] : nullptr;
  sqlite3_stmt* stmt;
  if (walk != nullptr) {
    const int rc = Ready(walk->stmt, [&] { return WalkSql(layout_, key, seek == Seek::kNext); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = walk->stmt.get();
    const bool continuing = walk->owner == walker && walk->snapshot == snapshotGeneration_ &&
                            walk->atValue == value && walk->atSeq == seq;
    if (!continuing) {
      sqlite3_reset(stmt);
      sqlite3_bind_blob(stmt, 1, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(stmt, 2, seq);
      walk->owner = walker;
      walk->snapshot = snapshotGeneration_;
    }
  } else {
    Statement& s = seek_[SeekSlot(key, seek)];
    const int rc = Ready(s, [&] { return SeekSql(Dialect(), layout_, key, seek); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = Hold(s);
    if (seek != Seek::kFirst && seek != Seek::kLast) {
      BindText(stmt, 1, value);
      if (along) sqlite3_bind_int64(stmt, 2, seq);
    }
  }
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && walk != nullptr) {
    sqlite3_reset(stmt);
    walk->owner = 0;
  }
  if (rc == SQLITE_DONE) return seek == Seek::kEqual ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  FillRow(stmt, true, row);
  if (walk != nullptr) {
    walk->atValue.assign(reinterpret_cast<const char*>(row->key), row->keyLength);
    walk->atSeq = row->seq;
  }
  return B_NO_ERROR;
}

int SqliteTable::Step(recman::Step step, int64_t from, uint64_t walker, Row* row) {
  PrepareRead();
  const bool along = step == recman::Step::kNext || step == recman::Step::kPrevious;
  const size_t w = DirectedSlot(layout_.keys.size(), step != recman::Step::kNext);
  Walk* walk = along && snapshotOpen_ && walker != 0 ? &walks_[w] : nullptr;
  sqlite3_stmt* stmt;
  if (walk != nullptr) {
    const int rc = Ready(walk->stmt, [&] { return StepWalkSql(step == recman::Step::kNext); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = walk->stmt.get();
    const bool continuing = walk->owner == walker && walk->snapshot == snapshotGeneration_ && walk->atSeq == from;
    if (!continuing) {
      sqlite3_reset(stmt);
      sqlite3_bind_int64(stmt, 1, from);
      walk->owner = walker;
      walk->snapshot = snapshotGeneration_;
    }
  } else {
    Statement& s = step_[static_cast<int>(step)];
    const int rc = Ready(s, [&] { return StepSql(Dialect(), step); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = Hold(s);
    if (along) sqlite3_bind_int64(stmt, 1, from);
  }
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && walk != nullptr) {
    sqlite3_reset(stmt);
    walk->owner = 0;
  }
  if (rc == SQLITE_DONE) return B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  FillRow(stmt, false, row);
  if (walk != nullptr) walk->atSeq = row->pos;
  return B_NO_ERROR;
}

int SqliteTable::ReadAt(int64_t pos, int key, Row* row) {
  PrepareRead();
  int rc = Ready(row_, [&] { return RowSql(Dialect(), layout_, false); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(row_);
  sqlite3_bind_int64(stmt, 1, pos);
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_BAD_RECORD_ADDRESS;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  row->pos = pos;
  row->ver = sqlite3_column_int64(stmt, 0);
  row->data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 1));
  row->length = static_cast<uint32_t>(sqlite3_column_bytes(stmt, 1));
  row->key = nullptr;
  row->keyLength = 0;
  row->seq = key >= 0 ? sqlite3_column_int64(stmt, 2 + key) : 0;
  return B_NO_ERROR;
}

int SqliteTable::Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t,
                      ScanVisitor& visitor) {
  PrepareRead();
  const size_t at = DirectedSlot(PathOf(key, layout_.keys.size()), !forward);
  int rc = Ready(scans_[at], [&] { return ScanSql(layout_, key, forward); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  // One statement over the whole scan: one read, whatever others commit.
  StatementUse use(scans_[at]);
  if (key < 0) {
    sqlite3_bind_int64(*use, 1, from);
  } else {
    BindText(*use, 1, value);
    if (layout_.keys[key].duplicates) sqlite3_bind_int64(*use, 2, seq);
  }
  Row row;
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
    row.pos = sqlite3_column_int64(*use, 0);
    row.data = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
    row.length = static_cast<uint32_t>(sqlite3_column_bytes(*use, 1));
    if (!visitor.Visit(row)) return B_NO_ERROR;
  }
  return rc == SQLITE_DONE ? B_END_OF_FILE : Failure(rc, Access::kFile);
}

int SqliteTable::CountRecords(uint64_t* n) {
  PrepareRead();
  int rc = Ready(count_, [&] { return CountSql(Dialect()); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(count_);
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::CountValues(size_t key, uint64_t* n) {
  PrepareRead();
  int rc = Ready(countValues_[key], [&] { return CountValuesSql(Dialect(), key); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(countValues_[key]);
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                             uint64_t* n) {
  PrepareRead();
  Statement& s = countOnPath_[DirectedSlot(PathOf(key, layout_.keys.size()), before)];
  int rc = Ready(s, [&] { return CountOnPathSql(Dialect(), layout_, key, before); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(s);
  if (before && key < 0) {
    sqlite3_bind_int64(stmt, 1, pos);
  } else if (before) {
    BindText(stmt, 1, value);
    if (layout_.keys[key].duplicates) sqlite3_bind_int64(stmt, 2, seq);
  }
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::ReadNth(int key, uint64_t n, Row* row) {
  PrepareRead();
  Statement& s = nth_[PathOf(key, layout_.keys.size())];
  int rc = Ready(s, [&] { return NthSql(Dialect(), layout_, key); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(s);
  sqlite3_bind_int64(stmt, 1, static_cast<int64_t>(n));
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  FillRow(stmt, key >= 0, row);
  return B_NO_ERROR;
}

int SqliteTable::ReadOwner(Owner* owner) {
  PrepareRead();
  *owner = Owner();
  // The owner's table is there once a file has had an owner; its statement
  // is prepared only then.
  int rc = Ready(hasOwner_, [] { return HasOwnerTableSql(); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(hasOwner_);
  if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) return Failure(rc, Access::kFile);
  if (sqlite3_column_int(stmt, 0) == 0) return B_NO_ERROR;
  if ((rc = Ready(readOwner_, [] { return ReadOwnerSql(); })) != SQLITE_OK) return Failure(rc, Access::kFile);
  stmt = Hold(readOwner_);
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_NO_ERROR;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  owner->name.assign(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
  owner->readWithout = sqlite3_column_int(stmt, 1) != 0;
  return B_NO_ERROR;
}

// --- writes -----------------------------------------------------------------------

int SqliteTable::TakeWriteLock(Access access) {
  for (;;) {
    int rc = RunControl(begin_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_DONE) return StatusFromSqlite(rc, access);
    rc = Ready(pending_, [&] { return PendingSql(); });
    bool pending = false;
    if (rc == SQLITE_OK) {
      StatementUse use(pending_);
      rc = sqlite3_step(*use);
      pending = rc == SQLITE_ROW;
      if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) {
      Rollback();
      return StatusFromSqlite(rc, access);
    }
    if (!pending) return B_NO_ERROR;
    // Settled in a transaction of its own, kept whatever becomes of the
    // write that found it; then the lock is taken afresh.
    int status = SettleParticipant(db_, layout_, path_);
    if (status == B_NO_ERROR && (rc = RunControl(commit_, "COMMIT")) != SQLITE_DONE) {
      status = StatusFromSqlite(rc, access);
    }
    if (status != B_NO_ERROR) {
      Rollback();
      return status;
    }
  }
}

int SqliteTable::BeginWrite(Access access) {
  if (!writable_) return B_ACCESS_DENIED;
  EndSnapshot();
  EndCall();
  ApplyBudget();
  if (joined_) return B_NO_ERROR;
  // Outside a transaction every write takes the write lock, so that what it
  // reads before it writes stays true.
  const int status = TakeWriteLock(access);
  ownWrite_ = status == B_NO_ERROR;
  return status;
}

int SqliteTable::FinishWrite(bool commit, Access access) {
  EndCall();
  if (!ownWrite_) return B_NO_ERROR;
  ownWrite_ = false;
  if (commit) {
    const int rc = RunControl(commit_, "COMMIT");
    if (rc == SQLITE_DONE) return B_NO_ERROR;
    Rollback();
    return StatusFromSqlite(rc, access);
  }
  Rollback();
  return B_NO_ERROR;
}

int SqliteTable::ChangeKeys(const FileLayout& to, const std::function<int()>& change) {
  // No statement made for the old keys may stay open across the change, nor
  // be used after it.
  ForgetStatements();
  const int status = InOneWrite(*this, Access::kFile, [&] {
    int rc = change();
    if (rc == SQLITE_OK) {
      Statement write;
      rc = write.Prepare(db_, WriteLayoutSql());
      if (rc == SQLITE_OK) {
        sqlite3_bind_blob(write.get(), 1, to.image.data(), static_cast<int>(to.image.size()), SQLITE_STATIC);
        rc = RunOnce(write);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
      }
    }
    return rc == SQLITE_OK ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
  });
  ForgetStatements();
  if (status == B_NO_ERROR) layout_ = to;
  SizeStatements();
  return status;
}

int SqliteTable::AddKey(const FileLayout& to) {
  return ChangeKeys(to, [&] {
    int rc = ExecAll(db_, AddKeyStatements(to));
    if (rc != SQLITE_OK) return rc;
    // The new key's value of every record, a batch of records at a time.
    constexpr int kBatch = 1000;
    Statement read, write;
    rc = read.Prepare(db_, KeyValuesSql(Dialect()));
    if (rc == SQLITE_OK) rc = write.Prepare(db_, SetKeyValueSql(to));
    if (rc != SQLITE_OK) return rc;
    std::vector<PositionedKey> batch;
    for (int64_t after = 0;; after = batch.back().pos) {
      batch.clear();
      {
        StatementUse use(read);
        sqlite3_bind_int64(*use, 1, after);
        sqlite3_bind_int(*use, 2, kBatch);
        while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
          const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
          const auto length = static_cast<uint32_t>(sqlite3_column_bytes(*use, 1));
          if (!TakeKeyValue(to.keys.back(), to.recordLength, sqlite3_column_int64(*use, 0), data, length,
                            &batch.emplace_back())) {
            return SQLITE_CORRUPT;
          }
        }
        if (rc != SQLITE_DONE) return rc;
      }
      if (batch.empty()) break;
      for (const PositionedKey& v : batch) {
        StatementUse use(write);
        sqlite3_bind_int64(*use, 1, v.pos);
        // A null value binds null: the statement keeps the last record's value otherwise.
        if (v.present) {
          BindText(*use, 2, v.value);
        } else {
          sqlite3_bind_null(*use, 2);
        }
        if ((rc = sqlite3_step(*use)) != SQLITE_DONE) return rc;
      }
    }
    return sqlite3_exec(db_, IndexSql(Dialect(), to, to.keys.size() - 1).c_str(), nullptr, nullptr, nullptr);
  });
}

int SqliteTable::DropKey(const FileLayout& to, size_t key) {
  const FileLayout from = layout_;
  return ChangeKeys(to, [&] { return ExecAll(db_, DropKeyStatements(from, to, key)); });
}

int SqliteTable::HighestValue(size_t key, std::string* value) {
  Statement& s = seek_[SeekSlot(key, Seek::kLast)];
  int rc = Ready(s, [&] { return SeekSql(Dialect(), layout_, key, Seek::kLast); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  StatementUse use(s);
  rc = sqlite3_step(*use);
  value->clear();
  if (rc == SQLITE_DONE) return B_NO_ERROR;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  value->assign(static_cast<const char*>(sqlite3_column_blob(*use, 3)),
                static_cast<size_t>(sqlite3_column_bytes(*use, 3)));
  return B_NO_ERROR;
}

int SqliteTable::NoteWrite(int64_t pos, bool inserted) {
  if (!joined_) return B_NO_ERROR;
  written_ = true;
  const int64_t txid = session_.UndoNeeded(*this);
  if (txid == 0) return B_NO_ERROR;
  Statement& s = inserted ? saveInserted_ : saveBefore_;
  int rc = Ready(s, [&] { return inserted ? SaveInsertedSql() : SaveBeforeSql(layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  StatementUse use(s);
  sqlite3_bind_int64(*use, 1, txid);
  sqlite3_bind_int64(*use, 2, pos);
  rc = sqlite3_step(*use);
  return rc == SQLITE_DONE ? B_NO_ERROR : Failure(rc, Access::kFile);
}

int SqliteTable::Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) {
  int rc = Ready(insert_, [&] { return InsertSql(layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  {
    StatementUse use(insert_);
    sqlite3_bind_blob(*use, 1, data, static_cast<int>(length), SQLITE_STATIC);
    BindKeys(*use, 2, layout_, keys, nullptr);
    rc = sqlite3_step(*use);
    if (rc != SQLITE_DONE) return Failure(rc, Access::kFile);
  }
  *pos = sqlite3_last_insert_rowid(db_);
  if (*pos > kMaxPosition) {
    // Out of 32-bit positions: the record goes again, and so will every
    // later one (the counter stays where it is).
    Ready(erase_, [&] { return DeleteSql(Dialect()); });
    StatementUse use(erase_);
    sqlite3_bind_int64(*use, 1, *pos);
    sqlite3_bind_int64(*use, 2, 1);
    rc = sqlite3_step(*use);
    return rc == SQLITE_DONE ? B_DISK_FULL : Failure(rc, Access::kFile);
  }
  return NoteWrite(*pos, true);
}

int SqliteTable::ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) {
  int rc = Ready(row_, [&] { return RowSql(Dialect(), layout_, false); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(row_);
  sqlite3_bind_int64(*use, 1, pos);
  rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_CONFLICT;  // deleted by someone since it was read
  if (rc != SQLITE_ROW) return Failure(rc, Access::kRecord);
  *ver = sqlite3_column_int64(*use, 0);
  const char* bytes = static_cast<const char*>(sqlite3_column_blob(*use, 1));
  data->assign(bytes != nullptr ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(*use, 1)));
  seqs->resize(layout_.keys.size());
  for (size_t k = 0; k < layout_.keys.size(); ++k) (*seqs)[k] = sqlite3_column_int64(*use, 2 + static_cast<int>(k));
  return B_NO_ERROR;
}

int SqliteTable::NewSequence(int64_t* seq) {
  int rc = Ready(nextSeq_, [&] { return NextSequenceSql(); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(nextSeq_);
  rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_DISK_FULL;  // out of positions
  if (rc != SQLITE_ROW) return Failure(rc, Access::kRecord);
  *seq = sqlite3_column_int64(*use, 0);
  return B_NO_ERROR;
}

int SqliteTable::Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
                        const std::vector<int64_t>& seqs) {
  int status = NoteWrite(pos, false);
  if (status != B_NO_ERROR) return status;
  const int rc = Ready(update_, [&] { return UpdateSql(Dialect(), layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(update_);
  sqlite3_bind_int64(*use, 1, pos);
  sqlite3_bind_blob(*use, 2, data, static_cast<int>(length), SQLITE_STATIC);
  BindKeys(*use, 3, layout_, keys, &seqs);
  const int step = sqlite3_step(*use);
  return step == SQLITE_DONE ? B_NO_ERROR : Failure(step, Access::kRecord);
}

int SqliteTable::Delete(int64_t pos, int64_t ver) {
  int status = NoteWrite(pos, false);
  if (status != B_NO_ERROR) return status;
  const int rc = Ready(erase_, [&] { return DeleteSql(Dialect()); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(erase_);
  sqlite3_bind_int64(*use, 1, pos);
  sqlite3_bind_int64(*use, 2, ver);
  const int step = sqlite3_step(*use);
  if (step != SQLITE_DONE) return Failure(step, Access::kRecord);
  return sqlite3_changes(db_) == 0 ? B_CONFLICT : B_NO_ERROR;
}

// --- the client's transaction ------------------------------------------------

int SqliteTable::WriteOwner(const Owner& owner) {
  int rc = sqlite3_exec(db_, MakeOwnerTableSql().c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && owner.name.empty()) rc = sqlite3_exec(db_, ClearOwnerSql().c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && !owner.name.empty()) {
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db_, WriteOwnerSql().c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      BindText(stmt, 1, owner.name);
      sqlite3_bind_int(stmt, 2, owner.readWithout ? 1 : 0);
      rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db_);
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_OK && sqlite3_changes(db_) == 0) return B_OWNER_ALREADY_SET;
  }
  return rc == SQLITE_OK ? B_NO_ERROR : Failure(rc, Access::kFile);
}

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
