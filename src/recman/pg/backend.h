// The server backend: record files kept by a PostgreSQL server, shared by
// every workstation that is pointed at it.
#pragma once

#include <string>
#include <vector>

#include "recman/storage.h"

namespace recman::pg {

// The process's backend for the server that conninfo names (made on first
// use, never destroyed). A file's name on it is ServerFileName(database,
// file).
Backend& ServerBackend(const std::string& conninfo);

// Every server backend the process has made.
std::vector<Backend*> ServerBackends();

// The names of the files of database on the server conninfo names, for the
// utility. Returns 0, or 96 with *why saying why (never the password).
int ListServerFiles(const std::string& conninfo, const std::string& database, std::vector<std::string>* names,
                    std::string* why);

}  // namespace recman::pg
