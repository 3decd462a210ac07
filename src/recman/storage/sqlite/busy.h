// SQLite's busy handler: a connection that meets another process's lock
// waits for it as the record manager's lock timeout says.
#pragma once

#include <sqlite3.h>

namespace recman::sqlite {

// Installs the waiting busy handler on db (not owned, open).
void InstallBusyHandler(sqlite3* db);

}  // namespace recman::sqlite
