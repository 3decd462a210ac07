// Deadlocks between the clients of this process: which client waits for a
// lock another holds. A wait that would close a circle of clients each
// waiting for the next is refused with 78 instead of waiting out the lock
// timeout, so that one of them lets go and the others go on. Waits for
// another process are not seen here: they end at the lock timeout.
#pragma once

#include <cstdint>

namespace recman {

class Client;
class RecordLocks;

// One client's wait for another, registered while it lasts. Not copyable;
// the clients and the locks named must outlive it.
class WaitFor {
 public:
  explicit WaitFor(const Client& waiter) : waiter_(waiter) {}
  ~WaitFor();
  WaitFor(const WaitFor&) = delete;
  WaitFor& operator=(const WaitFor&) = delete;

  // The waiter now waits for holder's lock among locks: on the record at
  // pos, or with pos 0 on the file its transaction holds (holder null, or
  // the waiter itself: for nobody of this process). Returns 0, or 78 when
  // holder waits, directly or through others, for the waiter: then the
  // waiter waits for nobody.
  int On(const Client* holder, RecordLocks& locks, int64_t pos);

 private:
  const Client& waiter_;     // the client waiting
  bool registered_ = false;  // its wait is in the process's table
};

}  // namespace recman
