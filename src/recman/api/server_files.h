// The server that a utility's database directory names, for the entry
// points that administrators' tools call on a server's files.
#pragma once

#include <string>

#include "recman/format/record_check.h"
#include "recman/storage/server_config.h"

namespace recman {

// The server that keeps the files of directory dir (as the caller spells
// it), and the directory's canonical path. False when there is none, or the
// record manager was built without the server backend (report got why).
bool ServerOfDirectory(const char* dir, std::string* canonical, ServerChoice* server, CheckReport& report);

}  // namespace recman
