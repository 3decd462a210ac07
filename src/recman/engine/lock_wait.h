// How long a write waits for another process's lock before giving up.
#pragma once

#include <chrono>
#include <cstdint>

struct sqlite3;

namespace recman {

// The wait in milliseconds: BtrSetLockTimeout's value, else the environment
// variable RECMAN_LOCK_TIMEOUT_MS read at first use, else 5000.
uint32_t LockTimeoutMs();

// How long to sleep before the retry that follows `tries` failed tries of
// one wait: short sleeps first, so that a lock held briefly costs little.
std::chrono::milliseconds RetryPause(int tries);

// Sets the wait for every connection, now and later.
void SetLockTimeoutMs(uint32_t ms);

// Installs the waiting busy handler on db (not owned).
void InstallBusyHandler(sqlite3* db);

}  // namespace recman
