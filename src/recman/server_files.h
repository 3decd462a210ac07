// The server that a utility's database directory names, for the entry
// points that administrators' tools call on a server's files.
#pragma once

#include "recman/record_check.h"
#include "recman/server_config.h"

namespace recman {

// The server that keeps the files of directory dir (any spelling of it).
// False after giving report the reason: no such directory, an unusable
// configuration, or files kept here.
bool ServerOfDirectory(const char* dir, CheckReport& report, ServerChoice* server);

}  // namespace recman
