// The check of a SQLite record file (BtrCheckFile for files of this backend).
#pragma once

#include <string>

#include "reclink/recman_check.h"

namespace recman::sqlite {

// Checks the file at the canonical path without changing it; sink (may be
// null) receives each problem. The number of problems, or -1 when it cannot
// be read as a record file.
int CheckFile(const std::string& path, BtrCheckSink sink, void* ctx);

}  // namespace recman::sqlite
