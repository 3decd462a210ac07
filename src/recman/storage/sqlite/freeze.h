// Continuous operation on a SQLite record file: the file itself stays as it
// is while writes go on in its write-ahead log.
#pragma once

#include <memory>
#include <string>

#include "recman/storage/storage.h"

namespace recman::sqlite {

// Freezes the record file at canonical path: see Backend::Freeze.
int FreezeFile(const std::string& path, std::unique_ptr<FileFreeze>* out);

}  // namespace recman::sqlite
