// Which backend keeps a caller's record file, and under which name.
#pragma once

#include <string>
#include <vector>

#include "recman/storage/server_config.h"
#include "recman/storage/storage.h"

namespace recman {

// The file that name (as the caller spelled it, in the system's form) names.
// forCreate: the file need not exist yet. A file on a server needs no local
// file; *placeholder (may be null) then gets the local path where its
// placeholder belongs (else ""). Returns 0, or the status why the name names
// no file (11 bad name, 12 missing, 46 no access; 25 for a Create in a
// missing directory; 96 for a server configuration that cannot be used, or
// a placeholder in a directory that names no server; 3001 for a file that
// would be kept locally on a network file system), with its reason set.
int Locate(const std::string& name, bool forCreate, FileId* out, std::string* placeholder = nullptr);

// The server that keeps the files of directory dir (canonical), if any:
// RECMAN_SERVER for every file of the process (each directory a database of
// its own, named by its path), else the directory's server configuration.
// Returns 0 (*found says whether one does), or 96 (*why says why).
int ServerOf(const std::string& dir, bool* found, ServerChoice* server, std::string* why);

// Every backend of the process (for the fork handler).
std::vector<Backend*> AllBackends();

}  // namespace recman
