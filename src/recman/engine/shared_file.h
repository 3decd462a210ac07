// A record file as the whole process knows it, whichever clients have it
// open: the counts that the open modes go by, and the record locks.
#pragma once

#include <mutex>

#include "recman/engine/record_locks.h"
#include "recman/storage/storage.h"

namespace recman {

struct SharedFile {
  explicit SharedFile(FileId fileId) : id(std::move(fileId)) {}

  const FileId id;     // where it lives
  std::mutex mu;       // guards the counts; nothing else is taken while it is held
  int openCount = 0;   // position blocks of any client that hold the file open
  int exclusiveCount = 0;  // of those, opened exclusive or changing the file's keys (at most one)
  RecordLocks locks;       // the record locks of every block of the process (its own mutex)
};

}  // namespace recman
