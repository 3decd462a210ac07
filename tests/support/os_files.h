#pragma once
// What tests ask of the operating system about files beside the library:
// another process's byte locks, the system's kinds of file system and UNC
// names.

#include <cstdint>
#include <string>
#include <vector>

namespace reclink::test {

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
