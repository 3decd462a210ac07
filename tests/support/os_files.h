#pragma once
// What tests ask of the operating system about files beside the library: a
// name that is no regular file, another process's byte locks, and the
// system's kinds of file system.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reclink::test {

// A name that opens as no regular file, through which a test feeds a reader
// or drains a writer: a FIFO in dir on POSIX systems, a named pipe
// (\\.\pipe\...) on Windows. Removed when the object dies. On failure
// path() is empty and the test has recorded why. One reader or writer, once.
class Fifo {
 public:
  explicit Fifo(const std::string& dir);
  ~Fifo();
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  const std::string& path() const { return path_; }
  // Waits up to 30 seconds for a reader to open the name, writes bytes to it
  // and ends the stream. False when no reader came or it stopped reading.
  bool Feed(const std::string& bytes);
  // Waits up to 30 seconds for a writer to open the name, and reads what it
  // writes until it closes the name; nothing when no writer came or it went
  // quiet for 30 seconds.
  std::optional<std::string> Drain();

 private:
  std::string path_;       // the name, empty when it could not be made
  [[maybe_unused]] intptr_t handle_ = -1;  // Windows: the pipe's server end, -1 elsewhere
};

// True when some process holds a lock (shared or exclusive) on the byte at
// offset of the file at path: the kind of lock SQLite takes, a POSIX record
// lock or a LockFileEx range. The caller must hold no lock on that file.
bool ByteLockedByAnother(const std::string& path, uint64_t offset);

// File-system types as the record manager's test builds take them from
// RECMAN_TEST_FILE_SYSTEM in place of the system's answer: statfs types on
// POSIX systems, GetDriveType results on Windows.
struct FileSystemTypes {
  std::vector<std::string> network;  // some whose files other machines reach too
  std::vector<std::string> local;    // some of a machine's own
};
FileSystemTypes TestFileSystemTypes();

// A directory of this process's own that a UNC name (\\server\share\...)
// reaches, and that name; empty on systems without such names. Under Wine a
// share of its "unc" device directory, on Windows the administrative share
// of the temporary directory's drive. On failure empty, with the reason
// recorded as a test failure.
std::string UncDirectory();

}  // namespace reclink::test
