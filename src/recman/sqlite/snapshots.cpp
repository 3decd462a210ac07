#include "recman/sqlite/snapshots.h"

#include <optional>

#include "recman/sqlite/table.h"

namespace recman::sqlite {

SnapshotReaper& SnapshotReaper::Instance() {
  // Destroyed at exit or unload, which stops the thread before the code it
  // runs goes away.
  static SnapshotReaper reaper;
  return reaper;
}

SnapshotReaper::~SnapshotReaper() {
  {
    std::lock_guard<std::mutex> guard(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SnapshotReaper::Watch(SqliteTable* table, Clock::time_point since) {
  std::lock_guard<std::mutex> guard(mu_);
  if (stop_) return;
  due_[table] = since + kSnapshotAge;
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_one();
}

void SnapshotReaper::Forget(SqliteTable* table) {
  std::lock_guard<std::mutex> guard(mu_);
  due_.erase(table);
}

void SnapshotReaper::ForgetAfterFork() {
  // The thread and any lock it held stayed in the parent.
  new (&mu_) std::mutex;
  new (&wake_) std::condition_variable;
  new std::thread(std::move(thread_));  // never joined nor destroyed: it does not exist here
  due_.clear();
}

void SnapshotReaper::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!stop_) {
    if (due_.empty()) {
      wake_.wait(lock);
      continue;
    }
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [table, when] : due_) next = std::min(next, when);
    if (Clock::now() < next) {
      wake_.wait_until(lock, next);
      continue;
    }
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
  }
}

}  // namespace recman::sqlite
