#include "recman/storage/sqlite/snapshots.h"

#include <algorithm>
#include <optional>

#include "recman/storage/sqlite/table.h"

namespace recman::sqlite {

SnapshotReaper& SnapshotReaper::Instance() {
  // Destroyed at exit or unload, which cancels the timer before the code it
  // runs goes away.
  static SnapshotReaper reaper;
  return reaper;
}

void SnapshotReaper::Watch(SqliteTable* table, Clock::time_point since) {
  std::lock_guard<std::mutex> guard(mu_);
  due_[table] = since + kSnapshotAge;
  ArmLocked();
}

void SnapshotReaper::Forget(SqliteTable* table) {
  std::lock_guard<std::mutex> guard(mu_);
  due_.erase(table);
}

void SnapshotReaper::ForgetAfterFork() {
  // Any lock the parent's threads held stayed with them.
  new (&mu_) std::mutex;
  due_.clear();
  timer_.ForgetAfterFork();
}

void SnapshotReaper::ArmLocked() {
  if (due_.empty()) return;
  Clock::time_point next = Clock::time_point::max();
  for (const auto& [table, when] : due_) next = std::min(next, when);
  const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
  timer_.Arm(std::max(delay, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1));
}

void SnapshotReaper::Reap() {
  std::lock_guard<std::mutex> guard(mu_);
  const Clock::time_point now = Clock::now();
  for (auto it = due_.begin(); it != due_.end();) {
    if (it->second > now) {
      ++it;
      continue;
    }
    SqliteTable* table = it->first;
    // A table busy with a call ends its own snapshot when it is too old;
    // look again soon in case that call was the last.
    if (!table->mutex().try_lock()) {
      it->second = now + kSnapshotAge / 2;
      ++it;
      continue;
    }
    const std::optional<Clock::time_point> since = table->EndSnapshotIfOlder(now - kSnapshotAge);
    table->mutex().unlock();
    if (since) {
      it->second = *since + kSnapshotAge;
      ++it;
    } else {
      it = due_.erase(it);
    }
  }
  ArmLocked();
}

}  // namespace recman::sqlite
