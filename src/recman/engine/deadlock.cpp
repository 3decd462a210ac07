#include "recman/engine/deadlock.h"

#include <map>
#include <mutex>

#include "recman/engine/record_locks.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// What one client waits for.
struct Wait {
  const Client* holder;  // the client holding it
  RecordLocks* locks;    // the locks of the file it is in
  int64_t pos;           // the record; 0: the file, held by the holder's transaction
};

// Who waits for whom in this process. Taken before any file's locks.
struct Waits {
  std::mutex mu;                          // guards waits
  std::map<const Client*, Wait> waits;    // by waiting client
};

Waits& ProcessWaits() {
  static Waits* waits = new Waits;  // never destroyed: waits may end during exit
  return *waits;
}

}  // namespace

int WaitFor::On(const Client* holder, RecordLocks& locks, int64_t pos) {
  Waits& process = ProcessWaits();
  std::lock_guard<std::mutex> lock(process.mu);
  if (holder == &waiter_) holder = nullptr;  // what the client holds itself is no wait
  // Each client waits for one other at most, so the waits from holder form
  // one chain. A wait whose holder has let go since it was registered (the
  // waiter is between two tries) ends the chain: that client waits no more.
  const Client* at = holder;
  for (size_t steps = 0; at != nullptr && steps <= process.waits.size(); ++steps) {
    if (at == &waiter_) {
      process.waits.erase(&waiter_);
      registered_ = false;
      return B_DEADLOCK;
    }
    const auto next = process.waits.find(at);
    if (next == process.waits.end() || !next->second.locks->Holds(next->second.holder, next->second.pos)) {
      break;
    }
    at = next->second.holder;
  }
  if (holder == nullptr) {
    process.waits.erase(&waiter_);
  } else {
    process.waits[&waiter_] = Wait{holder, &locks, pos};
  }
  registered_ = holder != nullptr;
  return B_NO_ERROR;
}

WaitFor::~WaitFor() {
  if (!registered_) return;
  Waits& process = ProcessWaits();
  std::lock_guard<std::mutex> lock(process.mu);
  process.waits.erase(&waiter_);
}

}  // namespace recman
