// The server backend: record files kept by a PostgreSQL server, shared by
// every workstation that is pointed at it.
#pragma once

#include <string>
#include <vector>

#include "recman/storage/server_config.h"
#include "recman/storage/storage.h"

namespace recman::pg {

// The process's backend for the server that server's connection string
// names, with its answer limit (made on first use, never destroyed). A
// file's name on it is ServerFileName(database, file).
Backend& ServerBackend(const ServerChoice& server);

// Every server backend the process has made.
std::vector<Backend*> ServerBackends();

// The names of the files of server's database, for the utility. Returns 0,
// or 96 with *why saying why (never the password).
int ListServerFiles(const ServerChoice& server, std::vector<std::string>* names, std::string* why);

// Removes every file of server's database from the server, all or none
// (85 when one is open anywhere). Returns 0 with *names the files removed,
// or a status with *why saying why.
int DropServerFiles(const ServerChoice& server, std::vector<std::string>* names, std::string* why);

}  // namespace recman::pg
