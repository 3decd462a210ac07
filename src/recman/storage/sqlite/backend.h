// The SQLite backend: record files on this machine, one SQLite database each.
#pragma once

#include "recman/storage/storage.h"

namespace recman::sqlite {

// The process's one SQLite backend.
Backend& SqliteBackend();

}  // namespace recman::sqlite
