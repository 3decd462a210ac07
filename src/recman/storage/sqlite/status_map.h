// Maps SQLite result codes to record-manager statuses.
#pragma once

#include "recman/os/os.h"

namespace recman {

// What the failing call was doing: it decides the status of a lock conflict
// and of a file that cannot be read as ours.
enum class Access {
  kOpen,    // opening a file: an unreadable database is "not ours" (30)
  kFile,    // any other work on the file as a whole (busy gives 85)
  kRecord,  // work on one stored record (busy gives 84)
};

// The status for SQLite result `rc` (primary or extended). rc must not be
// SQLITE_OK, SQLITE_ROW or SQLITE_DONE.
int StatusFromSqlite(int rc, Access access);

// The status for a failure met at the operating system's boundary
// (opening, creating, renaming, locking files); 0 for kNone.
int StatusFromFail(os::Fail f);

}  // namespace recman
