// Record files are read through memory mappings (SQLite's own, for every
// page not in the write-ahead log): no system call per page. A mapped file
// that another program cuts short must not kill the process: every mapping
// SQLite makes is guarded (os::GuardMappedRange) while it exists.
#pragma once

namespace recman::sqlite {

// Routes SQLite's mapping calls through the guard; once per process, before
// the first connection opens.
void GuardFileMappings();

}  // namespace recman::sqlite
