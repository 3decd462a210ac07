#pragma once
// What tests ask of the operating system about files beside the library: a
// name that is no regular file, and another process's byte locks. One source
// per system (os_files_posix.cpp, os_files_win32.cpp), chosen by CMake.

#include <cstdint>
#include <string>

namespace reclink::test {

// A name that opens as no regular file and never delivers data: a FIFO in
// dir on POSIX systems, a named pipe (\\.\pipe\...) with no writer on
// Windows. Removed when the object dies. On failure path() is empty and the
// test has recorded why.
class Fifo {
 public:
  explicit Fifo(const std::string& dir);
  ~Fifo();
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;       // the name, empty when it could not be made
  intptr_t handle_ = -1;   // Windows: the pipe's server end, -1 elsewhere
};

// True when some process holds a lock (shared or exclusive) on the byte at
// offset of the file at path: the kind of lock SQLite takes, a POSIX record
// lock or a LockFileEx range. The caller must hold no lock on that file.
bool ByteLockedByAnother(const std::string& path, uint64_t offset);

}  // namespace reclink::test
