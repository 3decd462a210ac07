// How long a write waits for another process's lock before giving up.
#pragma once

#include <chrono>
#include <cstdint>

namespace recman {

// The wait in milliseconds: BtrSetLockTimeout's value, else the environment
// variable RECMAN_LOCK_TIMEOUT_MS read at first use, else 5000.
uint32_t LockTimeoutMs();

// How long to sleep before the retry that follows `tries` failed tries of
// one wait: short sleeps first, so that a lock held briefly costs little.
std::chrono::milliseconds RetryPause(int tries);

// Sets the wait for every connection, now and later.
void SetLockTimeoutMs(uint32_t ms);

// One step of a wait for another process's lock, after `tries` failed
// tries (0 starts the wait): sleeps before the next try and returns true,
// or returns false once the wait has lasted LockTimeoutMs().
bool PauseBeforeRetry(int tries);

}  // namespace recman
