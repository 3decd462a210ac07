// Maps SQLite result codes to record-manager statuses.
#pragma once

#include "recman/storage/access.h"
#include "recman/storage/fail_status.h"

namespace recman {

// The status for SQLite result `rc` (primary or extended). rc must not be
// SQLITE_OK, SQLITE_ROW or SQLITE_DONE.
int StatusFromSqlite(int rc, Access access);

}  // namespace recman
