// A record file as the whole process knows it, whichever clients have it
// open: the counts that the open modes go by.
#pragma once

#include <mutex>

#include "recman/storage.h"

namespace recman {

struct SharedFile {
  explicit SharedFile(FileId fileId) : id(std::move(fileId)) {}

  const FileId id;     // where it lives
  std::mutex mu;       // guards the counts; nothing else is taken while it is held
  int openCount = 0;   // position blocks of any client that hold the file open
  int exclusiveCount = 0;  // of those, opened exclusive (at most one)
};

}  // namespace recman
