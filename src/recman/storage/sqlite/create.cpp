#include "recman/storage/sqlite/create.h"

#include <sqlite3.h>

#include <atomic>

#include "recman/os/os.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/statement.h"
#include "recman/storage/sqlite/table.h"
#include "recman/storage/sqlite/status_map.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

// The suffix that marks a file being created; the creator's process id and
// a counter follow.
constexpr const char* kCreatingMark = ".creating-";
// A temporary file younger than this may belong to a Create that has not
// taken its lock yet, or has just let it go to move the file into place.
constexpr int64_t kStaleSeconds = 60;
// What SQLite keeps beside a database file.
constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};

std::atomic<uint64_t> g_creations{0};  // makes temporary names unique in the process

void RemoveWithCompanions(const std::string& path) {
  os::RemoveFile(path);
  for (const char* suffix : kCompanions) os::RemoveFile(path + suffix);
}

// The status for a failure while creating: the disk or the permissions when
// the system says so, else a failure to create.
int CreateStatus(os::Fail f) {
  switch (f) {
    case os::Fail::kNone: return B_NO_ERROR;
    case os::Fail::kNoSpace: return B_DISK_FULL;
    case os::Fail::kAccess: return B_ACCESS_DENIED;
    case os::Fail::kExists: return B_FILE_ALREADY_EXISTS;
    default: return B_CREATE_IO_ERROR;
  }
}

int CreateStatus(sqlite3* db, int rc) {
  const int primary = rc & 0xff;
  if (primary == SQLITE_FULL) return B_DISK_FULL;
  if (primary == SQLITE_READONLY || primary == SQLITE_PERM) return B_ACCESS_DENIED;
  const int err = db != nullptr ? sqlite3_system_errno(db) : 0;
  return err != 0 ? CreateStatus(os::FromSystemError(err)) : B_CREATE_IO_ERROR;
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// Builds the file at temp: tables and identification row, committed through
// a rollback journal so that every byte is in the file itself when the
// commit returns (a log that a full disk keeps from being copied back would
// leave the file empty), then switched to write-ahead logging. Returns 0 or
// a status.
int Build(const std::string& temp, const FileLayout& layout) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    rc = Exec(db, "PRAGMA page_size = 4096; PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL");
  }
  if (rc == SQLITE_OK) rc = Exec(db, "BEGIN");
  for (const std::string& sql : CreateStatements(layout)) {
    if (rc != SQLITE_OK) break;
    rc = Exec(db, sql.c_str());
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
      rc = sqlite3_step(*use) == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(db);
    }
  }
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
  if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA journal_mode = WAL");
  const int status = rc == SQLITE_OK ? B_NO_ERROR : CreateStatus(db, rc);
  rc = sqlite3_close(db);
  return status != B_NO_ERROR ? status : (rc == SQLITE_OK ? B_NO_ERROR : B_CREATE_IO_ERROR);
}

// Reads the file at temp back and checks its pages and its identification:
// only a file that passes is moved into place. Returns 0 or a status.
int Verify(const std::string& temp, const FileLayout& layout) {
  for (const char* suffix : kCompanions) {
    if (os::Exists(temp + suffix)) return B_CREATE_IO_ERROR;  // the close could not finish its work
  }
  sqlite3* db = nullptr;
  int status = B_CREATE_IO_ERROR;
  if (sqlite3_open_v2(SqliteTable::Uri(temp, "immutable=1").c_str(), &db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
    FileLayout read;
    int headerStatus = B_NOT_A_BTRIEVE_FILE;
    Statement check;
    if (SqliteTable::ReadHeader(db, &read, &headerStatus) == SQLITE_OK && headerStatus == B_NO_ERROR &&
        read.image == layout.image && check.Prepare(db, "PRAGMA quick_check") == SQLITE_OK) {
      StatementUse use(check);
      const unsigned char* verdict = sqlite3_step(*use) == SQLITE_ROW ? sqlite3_column_text(*use, 0) : nullptr;
      if (verdict != nullptr && std::string(reinterpret_cast<const char*>(verdict)) == "ok") {
        status = B_NO_ERROR;
      }
    }
  }
  sqlite3_close(db);
  return status;
}

// A log and index beside a file that does not exist are what was left when
// someone removed the file by hand; they must never be replayed into a new
// file of that name. Removed unless a connection still holds the index (its
// byte 128, where every connection holds a lock while it is open).
void RemoveOrphanCompanions(const std::string& path) {
  if (os::Exists(path)) return;
  constexpr uint64_t kIndexInUseByte = 128;
  const std::string index = path + "-shm";
  if (os::Exists(index) && os::LockedBySomeone(index, kIndexInUseByte, 1)) return;
  for (const char* suffix : kCompanions) os::RemoveFile(path + suffix);
}

// Moves temp over the existing file at path. The old file's log and index
// are moved aside first and removed only when the new file is in place:
// they must never be replayed into the new file, and must come back if the
// move fails. Returns the system's verdict.
os::Fail Replace(const std::string& temp, const std::string& path) {
  std::vector<std::pair<std::string, std::string>> aside;  // companion, where it went
  os::Fail f = os::Fail::kNone;
  for (const char* suffix : kCompanions) {
    const std::string companion = path + suffix;
    if (!os::Exists(companion)) continue;
    const std::string away = temp + ".old" + suffix;
    f = os::RenameReplace(companion, away);
    if (f != os::Fail::kNone) break;
    aside.emplace_back(companion, away);
  }
  if (f == os::Fail::kNone) f = os::RenameReplace(temp, path);
  for (const auto& [companion, away] : aside) {
    if (f == os::Fail::kNone) {
      os::RemoveFile(away);
    } else {
      os::RenameReplace(away, companion);
    }
  }
  return f;
}

}  // namespace

int CreateRecordFile(const std::string& path, const FileLayout& layout, bool replace) {
  const std::string dir = os::DirectoryOf(path);
  const os::Fail usable = os::CheckDirectoryWritable(dir);
  if (usable != os::Fail::kNone) return usable == os::Fail::kAccess ? B_ACCESS_DENIED : B_CREATE_IO_ERROR;
  RemoveStaleCreations(path);

  // The temporary file is held while it is built: that is how a later
  // Create tells a live creation from the leftover of a killed one.
  const std::string temp = path + kCreatingMark + std::to_string(os::ProcessId()) + "-" +
                           std::to_string(++g_creations);
  int status;
  {
    os::LockHandle held;
    os::Fail f = held.Create(temp);
    if (f == os::Fail::kNone) f = held.TryClaim(true);
    status = f == os::Fail::kExists ? B_CREATE_IO_ERROR : CreateStatus(f);
    if (status == B_NO_ERROR) status = Build(temp, layout);
    if (status == B_NO_ERROR) status = Verify(temp, layout);
    // Let go before the move: closing a descriptor of the file once it has
    // its real name would drop the locks of connections that have opened it.
  }
  if (status == B_NO_ERROR) {
    if (!replace) RemoveOrphanCompanions(path);
    const os::Fail f = replace ? Replace(temp, path) : os::RenameNoReplace(temp, path);
    status = f == os::Fail::kExists ? B_FILE_ALREADY_EXISTS : CreateStatus(f);
  }
  if (status != B_NO_ERROR) {
    RemoveWithCompanions(temp);
    return status;
  }
  os::SyncDirectory(dir);
  return B_NO_ERROR;
}

void RemoveStaleCreations(const std::string& path) {
  const std::string dir = os::DirectoryOf(path);
  const std::string prefix = os::LeafOf(path) + kCreatingMark;
  for (const std::string& name : os::ListDirectory(dir)) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string temp = os::Join(dir, name);
    if (os::SecondsSinceModified(temp) < kStaleSeconds) continue;
    std::string base;  // the file that a companion belongs to
    for (const char* suffix : kCompanions) {
      if (name.ends_with(suffix)) base = temp.substr(0, temp.size() - std::string(suffix).size());
    }
    if (!base.empty()) {
      // Goes with its file; alone (an old file's log moved aside), it is stale.
      if (!os::Exists(base)) os::RemoveFile(temp);
      continue;
    }
    os::LockHandle probe;
    if (probe.Open(temp) != os::Fail::kNone || probe.TryClaim(true) != os::Fail::kNone) continue;
    probe.Close();
    RemoveWithCompanions(temp);
  }
}

}  // namespace recman::sqlite
