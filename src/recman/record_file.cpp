#include "recman/record_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    "PRAGMA synchronous = FULL;";

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

std::string RecordFile::ImmutableUri(const std::string& path) {
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
  return uri + "?immutable=1";
}

namespace {

void SyncDirectoryOf(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

void RemoveWithCompanions(const std::string& path) {
  ::unlink(path.c_str());
  ::unlink((path + "-wal").c_str());
  ::unlink((path + "-shm").c_str());
  ::unlink((path + "-journal").c_str());
}

// The status for a failure while creating, from the system error SQLite met.
int CreateStatus(sqlite3* db, int rc) {
  const int err = db ? sqlite3_system_errno(db) : 0;
  if ((rc & 0xff) == SQLITE_FULL || err == ENOSPC || err == EDQUOT) return B_DISK_FULL;
  if (err == EROFS || err == EACCES || err == EPERM || (rc & 0xff) == SQLITE_READONLY) {
    return B_ACCESS_DENIED;
  }
  return B_CREATE_IO_ERROR;
}

}  // namespace

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
  if (lockFd_ >= 0) ::close(lockFd_);
}

int RecordFile::Open(const std::string& path, std::unique_ptr<RecordFile>* out) {
  std::unique_ptr<RecordFile> file(new RecordFile);
  file->path_ = path;
  // Non-blocking: a FIFO under a record file's name must not hang Open.
  file->lockFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file->lockFd_ < 0) return StatusFromErrno(errno);
  struct stat st;
  if (::fstat(file->lockFd_, &st) != 0 || !S_ISREG(st.st_mode)) return B_FILE_NOT_FOUND;

  int rc = sqlite3_open_v2(path.c_str(), &file->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  sqlite3_extended_result_codes(file->db_, 1);
  InstallBusyHandler(file->db_);
  int status = B_NO_ERROR;
  rc = ReadHeader(file->db_, &file->layout_, &status);
  if (rc != SQLITE_OK && NeedsImmutableRetry(rc)) {
    // A read-only medium: the WAL index cannot be made, so read the file as
    // it stands. Nobody can change it there.
    sqlite3_close_v2(file->db_);
    file->db_ = nullptr;
    rc = sqlite3_open_v2(ImmutableUri(path).c_str(), &file->db_,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
    sqlite3_extended_result_codes(file->db_, 1);
    InstallBusyHandler(file->db_);
    rc = ReadHeader(file->db_, &file->layout_, &status);
    file->writable_ = false;
  }
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
  if (status != B_NO_ERROR) return status;
  if (sqlite3_db_readonly(file->db_, "main") == 1) file->writable_ = false;
  rc = sqlite3_exec(file->db_, kConnectionSettings, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kOpen);
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

int RecordFile::Create(const std::string& path, const FileLayout& layout) {
  // A directory that cannot be written (read-only medium, no permission)
  // says so here; SQLite would only report that it cannot open the file.
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
  if (::access(dir.c_str(), W_OK) != 0) {
    return errno == EROFS || errno == EACCES || errno == EPERM ? B_ACCESS_DENIED : B_CREATE_IO_ERROR;
  }
  const std::string temp = path + ".creating-" + std::to_string(::getpid());
  RemoveWithCompanions(temp);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(temp.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto fail = [&](int code) {
    const int status = CreateStatus(db, code);
    sqlite3_close_v2(db);
    RemoveWithCompanions(temp);
    return status;
  };
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_extended_result_codes(db, 1);
  rc = sqlite3_exec(db, "PRAGMA page_size = 4096; PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;",
                    nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (const std::string& sql : CreateStatements(layout)) {
    if (rc != SQLITE_OK) break;
    rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    Statement header;
    rc = header.Prepare(db, WriteHeaderSql());
    if (rc == SQLITE_OK) {
      StatementUse use(header);
      sqlite3_bind_text(*use, 1, kFileMagic, -1, SQLITE_STATIC);
      sqlite3_bind_int(*use, 2, kFormatVersion);
      sqlite3_bind_blob(*use, 3, layout.image.data(), static_cast<int>(layout.image.size()),
                        SQLITE_STATIC);
      rc = sqlite3_step(*use) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  rc = sqlite3_close(db);
  db = nullptr;
  if (rc != SQLITE_OK) return fail(rc);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    RemoveWithCompanions(temp);
    return err == ENOSPC ? B_DISK_FULL : (err == EROFS || err == EACCES ? B_ACCESS_DENIED : B_CREATE_IO_ERROR);
  }
  SyncDirectoryOf(dir);
  return B_NO_ERROR;
}

int RecordFile::ClaimShared() {
  if (::flock(lockFd_, LOCK_SH | LOCK_NB) == 0) return B_NO_ERROR;
  return errno == EWOULDBLOCK ? B_FILE_INUSE : B_IO_ERROR;
}

int RecordFile::ClaimExclusive() {
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return B_NO_ERROR;
  return errno == EWOULDBLOCK ? B_INCOMPATIBLE_MODE : B_IO_ERROR;
}

void RecordFile::DropExclusive() { ::flock(lockFd_, LOCK_SH | LOCK_NB); }

void RecordFile::DropClaimAfterFork() {
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
}

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
