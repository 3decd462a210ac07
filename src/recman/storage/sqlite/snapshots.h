// Read snapshots that tables keep from one call to the next must not outlive
// a burst of calls: a process that goes quiet while holding one would hold
// back the checkpoints of every other process. The reaper ends them once
// they are old and their table is idle, on a timer that is armed only while
// a snapshot is open (os/timer.h): when no call is made, nothing runs.
#pragma once

#include <chrono>
#include <map>
#include <mutex>

#include "recman/os/os.h"
#include "recman/os/timer.h"

namespace recman::sqlite {

class SqliteTable;

class SnapshotReaper {
 public:
  using Clock = os::CoarseClock;  // ages of snapshots, to a few milliseconds
  // How long a snapshot may serve reads.
  static constexpr std::chrono::milliseconds kSnapshotAge{50};

  static SnapshotReaper& Instance();

  // table (whose mutex the caller holds) began a snapshot at since.
  void Watch(SqliteTable* table, Clock::time_point since);
  // table is going away; waits for the reaper to let go of it.
  void Forget(SqliteTable* table);
  // In a forked child, which has no timer thread.
  void ForgetAfterFork();

 private:
  SnapshotReaper() : timer_(&SnapshotReaper::Fire, this) {}
  static void Fire(void* self) { static_cast<SnapshotReaper*>(self)->Reap(); }
  // Ends the snapshots that are due (on the timer's thread).
  void Reap();
  // Arms the timer for the first table due; the caller holds mu_.
  void ArmLocked();

  std::mutex mu_;                                  // guards due_
  std::map<SqliteTable*, Clock::time_point> due_;  // tables and when to look at them
  os::Timer timer_;  // declared last: destroyed first, waiting for a Reap in progress
};

}  // namespace recman::sqlite
