#include "recman/deadlock.h"

#include <map>
#include <mutex>

#include "reclink/btrieve.h"

namespace recman {
namespace {

// Who waits for whom in this process: each waiting client and the client
// holding what it waits for.
struct Waits {
  std::mutex mu;                                 // guards edges
  std::map<const Client*, const Client*> edges;  // waiter -> holder
};

Waits& ProcessWaits() {
  static Waits* waits = new Waits;  // never destroyed: waits may end during exit
  return *waits;
}

}  // namespace

int WaitFor::On(const Client* holder) {
  Waits& waits = ProcessWaits();
  std::lock_guard<std::mutex> lock(waits.mu);
  if (holder == &waiter_) holder = nullptr;  // what the client holds itself is no wait
  // Each client waits for one other at most, so the waits from holder form
  // one chain; it comes back to the waiter or ends within edges.size() steps.
  const Client* at = holder;
  for (size_t steps = 0; at != nullptr && steps <= waits.edges.size(); ++steps) {
    if (at == &waiter_) {
      waits.edges.erase(&waiter_);
      return B_DEADLOCK;
    }
    const auto next = waits.edges.find(at);
    at = next == waits.edges.end() ? nullptr : next->second;
  }
  if (holder == nullptr) {
    waits.edges.erase(&waiter_);
  } else {
    waits.edges[&waiter_] = holder;
  }
  return B_NO_ERROR;
}

WaitFor::~WaitFor() {
  Waits& waits = ProcessWaits();
  std::lock_guard<std::mutex> lock(waits.mu);
  waits.edges.erase(&waiter_);
}

}  // namespace recman
