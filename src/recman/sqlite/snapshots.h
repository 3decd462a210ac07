// Read snapshots that tables keep from one call to the next must not outlive
// a burst of calls: a process that goes quiet while holding one would hold
// back the checkpoints of every other process. The reaper ends them once
// they are old and their table is idle. Its one thread sleeps while no
// snapshot is open, and is stopped and joined when the library is unloaded
// or the process exits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace recman::sqlite {

class SqliteTable;

class SnapshotReaper {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a snapshot may serve reads.
  static constexpr std::chrono::milliseconds kSnapshotAge{50};

  static SnapshotReaper& Instance();
  ~SnapshotReaper();

  // table (whose mutex the caller holds) began a snapshot at since.
  void Watch(SqliteTable* table, Clock::time_point since);
  // table is going away; waits for the reaper to let go of it.
  void Forget(SqliteTable* table);
  // In a forked child, which has no reaper thread.
  void ForgetAfterFork();

 private:
  SnapshotReaper() = default;
  void Run();

  std::mutex mu_;                                     // guards everything below
  std::condition_variable wake_;                      // a snapshot to watch, or stop
  std::map<SqliteTable*, Clock::time_point> due_;     // tables and when to look at them
  std::thread thread_;                                // started at the first Watch
  bool stop_ = false;                                 // the process is ending
};

}  // namespace recman::sqlite
