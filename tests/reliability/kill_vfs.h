#pragma once
// Crash points inside the storage: a shim over SQLite's default file system
// layer that kills the process, with a set chance, just before a write or
// sync of any database or log file (a worker never truncates or deletes one:
// the log stays beside its file). With it the crash tests die in the middle
// of a commit far more often than a timer can arrange.

#include <cstdint>

namespace reclink::crash {

// What a process that dies in the shim says to its parent (child_process.h)
// first.
inline constexpr char kKilledInStorage[] = "killed in storage";

// Makes the shim the default file system layer of this process's SQLite.
// Each storage write or sync then raises SIGKILL with chance
// permille / 1000, drawn from a generator seeded with seed. Call once, before
// any file is opened.
void InstallKillVfs(uint64_t seed, unsigned permille);

}  // namespace reclink::crash
