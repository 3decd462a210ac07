// Create: a new SQLite record file appears whole under its name, or not at all.
#pragma once

#include <string>

#include "recman/format/file_layout.h"

namespace recman::sqlite {

// Creates an empty record file with layout at the canonical path. The file
// is built and checked under a temporary name beside the target, then moved
// into place in one step: with replace, over an existing file (which the
// caller holds with FileLocks::LockForReplace), whose log and index go with it;
// without, only if nothing exists there (59 otherwise, even against another
// process creating the same name at the same moment). Returns 0, or 59, 25
// (directory missing or not usable), 46, 18, 2; a failure leaves nothing
// behind.
int CreateRecordFile(const std::string& path, const FileLayout& layout, bool replace);

// Removes what Creates that were killed left beside path: temporary files
// that nobody holds and that are older than a minute.
void RemoveStaleCreations(const std::string& path);

}  // namespace recman::sqlite
