#include "recman/record_file.h"


#include <atomic>
#include <cstring>

#include "recman/lock_wait.h"
#include "recman/multi_commit.h"
#include "recman/status_map.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// Connection settings of every file: page cache in memory, no memory-mapped
// I/O (a file truncated under a mapping would raise SIGBUS), commits synced.
constexpr const char* kConnectionSettings =
    "PRAGMA cache_size = -65536; PRAGMA mmap_size = 0; PRAGMA temp_store = MEMORY; "
    "PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 4194304;";

// Size of one region of SQLite's WAL index (its shared memory); the header
// is at the start of region 0.
constexpr int kWalIndexRegion = 32768;
// The header copy that readers go by: the first 48 bytes.
constexpr size_t kWalHeader = 48;

}  // namespace

bool RecordFile::NeedsImmutableRetry(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY ||
         rc == SQLITE_IOERR_SHMOPEN || rc == SQLITE_IOERR_SHMSIZE || rc == SQLITE_IOERR_SHMMAP;
}

int RecordFile::ReadHeader(sqlite3* db, FileLayout* layout, int* status) {
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
  const int format = sqlite3_column_int(*use, 1);
  const void* image = sqlite3_column_blob(*use, 2);
  const int imageLen = sqlite3_column_bytes(*use, 2);
  if (magic == nullptr || std::strcmp(magic, kFileMagic) != 0 || format != kFormatVersion ||
      ParseLayout(static_cast<const uint8_t*>(image), static_cast<uint32_t>(imageLen), layout) !=
          B_NO_ERROR ||
      layout->image.size() != static_cast<size_t>(imageLen)) {
    *status = B_NOT_A_BTRIEVE_FILE;
    return SQLITE_OK;
  }
  *status = B_NO_ERROR;
  return SQLITE_OK;
}

RecordFile::~RecordFile() {
  EndSnapshot();
  shm_ = nullptr;  // SQLite's own mapping: it goes with the connection
  keys_.reset();
  for (Statement* s : {&insert_, &update_, &erase_, &row_, &bumpSeq_, &count_, &saveBefore_,
                       &saveInserted_, &begin_, &beginRead_, &commit_, &rollback_}) {
    s->Finalize();
  }
  for (Statement& s : step_) s.Finalize();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  // Only after SQLite let go of the file: closing any descriptor of it would
  // drop the POSIX locks SQLite holds through its own.
  lock_.Close();
}

namespace {

// Opens a connection to path; URI file names when uri. Returns the SQLite code.
int OpenConnection(const std::string& name, int flags, sqlite3** db) {
  const int rc = sqlite3_open_v2(name.c_str(), db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (*db != nullptr) {
    sqlite3_extended_result_codes(*db, 1);
    InstallBusyHandler(*db);
  }
  return rc;
}

// The URI that opens path with the query parameter param.
std::string UriOf(const std::string& path, const char* param) {
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

// A write-ahead log or index left by a process that could not give this one
// write access (a reader of another user) would make every write of this
// one fail. While nobody else has the file open, they are replaced by
// copies that this process owns: same bytes, nothing lost.
void ReclaimCompanions(const std::string& path, os::LockHandle& lock) {
  bool reclaim = false;
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string companion = path + suffix;
    reclaim |= os::Exists(companion) && os::CheckFileWritable(companion) != os::Fail::kNone;
  }
  if (!reclaim || lock.TryClaim(true) != os::Fail::kNone) return;
  // The index is rebuilt from the log by the next connection; the log is
  // copied, since it may hold commits not yet in the file.
  os::RemoveFile(path + "-shm");
  const std::string wal = path + "-wal";
  const std::string copy = wal + ".reclaim-" + std::to_string(os::ProcessId());
  if (os::Exists(wal) && os::CopyFile(wal, copy) == os::Fail::kNone &&
      os::RenameReplace(copy, wal) != os::Fail::kNone) {
    os::RemoveFile(copy);
  }
  lock.TryClaim(false);
}

}  // namespace

std::string RecordFile::ImmutableUri(const std::string& path) { return UriOf(path, "immutable=1"); }

int RecordFile::Open(const std::string& path, std::unique_ptr<RecordFile>* out) {
  std::unique_ptr<RecordFile> file(new RecordFile);
  file->path_ = path;
  os::Fail f = file->lock_.Open(path);
  if (f == os::Fail::kNone) f = file->lock_.TryClaim(false);
  if (f != os::Fail::kNone) return StatusFromFail(f);

  // A process that may not write the file opens it without ever creating
  // the log and index beside it: files it made would lock out the owner.
  file->writable_ = os::CheckFileWritable(path) == os::Fail::kNone;
  if (file->writable_) ReclaimCompanions(path, file->lock_);
  int rc = file->writable_
               ? OpenConnection(path, SQLITE_OPEN_READWRITE, &file->db_)
               : OpenConnection(UriOf(path, "readonly_shm=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                &file->db_);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  int status = B_NO_ERROR;
  rc = ReadHeader(file->db_, &file->layout_, &status);
  if (rc != SQLITE_OK && NeedsImmutableRetry(rc)) {
    // No index to share (a read-only medium, or nobody has made one and
    // this process may not): read the file as it stands.
    sqlite3_close_v2(file->db_);
    file->db_ = nullptr;
    rc = OpenConnection(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &file->db_);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
    rc = ReadHeader(file->db_, &file->layout_, &status);
    file->writable_ = false;
  }
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  if (status != B_NO_ERROR) return status;
  if (sqlite3_db_readonly(file->db_, "main") == 1) file->writable_ = false;
  rc = sqlite3_exec(file->db_, kConnectionSettings, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  // The log and its index stay when the last connection closes, so that a
  // reader arriving later finds them made by a writer.
  int persist = 1;
  sqlite3_file_control(file->db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  rc = file->PrepareAll();
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  if (file->writable_) SettleLeftovers(file->db_, file->layout_);
  *out = std::move(file);
  return B_NO_ERROR;
}

int RecordFile::PrepareAll() {
  keys_ = std::make_unique<KeyStatements[]>(layout_.keys.size());
  for (size_t k = 0; k < layout_.keys.size(); ++k) {
    for (int s = 0; s < kSeekCount; ++s) {
      int rc = keys_[k].seek[s].Prepare(db_, SeekSql(layout_, k, static_cast<recman::Seek>(s)));
      if (rc != SQLITE_OK) return rc;
    }
  }
  for (size_t k = 0; k < layout_.keys.size(); ++k) {
    for (bool forward : {true, false}) {
      int rc = WalkOf(k, forward).stmt.Prepare(db_, WalkSql(layout_, k, forward));
      if (rc != SQLITE_OK) return rc;
    }
  }
  for (int s = 0; s < kStepCount; ++s) {
    int rc = step_[s].Prepare(db_, StepSql(static_cast<recman::Step>(s)));
    if (rc != SQLITE_OK) return rc;
  }
  const std::pair<Statement*, std::string> all[] = {
      {&insert_, InsertSql(layout_)},
      {&update_, UpdateSql(layout_)},
      {&erase_, "DELETE FROM records WHERE pos = ?1 AND ver = ?2"},
      {&row_, RowSql(layout_)},
      {&bumpSeq_, "UPDATE sqlite_sequence SET seq = seq + 1 WHERE name = 'records' RETURNING seq"},
      {&count_, "SELECT count(*) FROM records"},
      {&saveBefore_, SaveBeforeSql(layout_)},
      {&saveInserted_, "INSERT OR IGNORE INTO recman_undo(txid, pos, existed) VALUES(?1, ?2, 0)"},
      {&begin_, "BEGIN IMMEDIATE"},
      {&beginRead_, "BEGIN DEFERRED"},
      {&commit_, "COMMIT"},
      {&rollback_, "ROLLBACK"},
  };
  for (const auto& [stmt, sql] : all) {
    int rc = stmt->Prepare(db_, sql);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

int RecordFile::ClaimExclusive() {
  const os::Fail f = lock_.TryClaim(true);
  return f == os::Fail::kBusy ? B_INCOMPATIBLE_MODE : StatusFromFail(f);
}

void RecordFile::DropExclusive() { lock_.TryClaim(false); }

void RecordFile::DropClaimAfterFork() { lock_.Close(); }

bool RecordFile::MapWalIndex() {
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
  // Region 0 exists once the connection has read the file in WAL mode (Open
  // does); without extending, nothing is created here.
  if (file->pMethods->xShmMap(file, 0, kWalIndexRegion, 0, &region) != SQLITE_OK || region == nullptr) {
    return false;
  }
  shm_ = const_cast<const unsigned char*>(static_cast<volatile unsigned char*>(region));
  return true;
}

void RecordFile::PrepareRead() {
  if (!writable_ || inTransaction) return;
  unsigned char header[kWalHeader];
  const bool watched = MapWalIndex();
  if (watched) {
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(header, shm_, kWalHeader);
  }
  if (snapshotOpen_) {
    const bool fresh = watched && std::memcmp(header, snapshotHeader_, kWalHeader) == 0 &&
                       std::chrono::steady_clock::now() - snapshotSince_ < kSnapshotAge;
    if (fresh) return;
    EndSnapshot();
  }
  // Without the index in view (first read of the connection) the read runs
  // on its own; the next one can share.
  if (!watched || BeginRead() != SQLITE_DONE) return;
  std::memcpy(snapshotHeader_, header, kWalHeader);
  snapshotSince_ = std::chrono::steady_clock::now();
  snapshotOpen_ = true;
  ++snapshotGeneration_;
}

void RecordFile::EndSnapshot() {
  if (!snapshotOpen_) return;
  snapshotOpen_ = false;
  for (size_t k = 0; k < layout_.keys.size(); ++k) {
    for (bool forward : {true, false}) {
      Walk& walk = WalkOf(k, forward);
      sqlite3_reset(walk.stmt.get());
      walk.owner = 0;
    }
  }
  Commit();
}

void RecordFile::EndSnapshotIfStale() {
  if (snapshotOpen_ && std::chrono::steady_clock::now() - snapshotSince_ >= kSnapshotAge) EndSnapshot();
}

void RecordFile::SetDurable(bool full) {
  if (full == durable_) return;
  EndSnapshot();
  durable_ = full;
  sqlite3_exec(db_, full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL", nullptr,
               nullptr, nullptr);
}

}  // namespace recman
