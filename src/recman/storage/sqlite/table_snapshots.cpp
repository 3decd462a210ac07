// The read snapshot a table keeps between calls, while no commit has
// happened since it began: SQLite's WAL index header says so.
#include <atomic>
#include <cstring>

#include "recman/storage/sqlite/table.h"

namespace recman::sqlite {
namespace {

// Size of one region of SQLite's WAL index (its shared memory); the header
// is at the start of region 0, and readers go by its first 48 bytes.
constexpr int kWalIndexRegion = 32768;
constexpr size_t kWalHeader = 48;

}  // namespace

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

}  // namespace recman::sqlite
