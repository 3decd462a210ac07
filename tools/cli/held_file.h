#pragma once
// Files and directories that one run of the utility holds while it works on
// them, so that other runs see them in use until it lets go or dies. On POSIX
// systems an exclusive advisory lock (flock) on an open descriptor; on
// Windows an open handle that lets nobody else write, rename or delete the
// file, and for a directory a file ".reclink-lock" in it that nobody else may
// open and that goes when its handle closes. One source per system
// (held_file_posix.cpp, held_file_win32.cpp), chosen by CMake.

#include <cstdint>
#include <string>

namespace reclink::cli {

class HeldFile {
 public:
  HeldFile() = default;
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Creates the file at path anew, empty, and holds it. False with the
  // system's reason in *error; nothing is left behind then.
  bool CreateFile(const std::string& path, std::string* error);
  // Holds the existing directory dir. False with the system's reason in
  // *error; *busy is true when that is because another holds it.
  bool HoldDirectory(const std::string& dir, bool* busy, std::string* error);
  // When path is a device, FIFO, socket or pipe, or one of the process's
  // streams (IsProcessStream: appended to), opens it for writing as it is:
  // nothing is created, renamed or held. True when it was opened; false
  // otherwise, with *device telling whether path is one (and *error why it
  // could not be opened then).
  bool OpenDevice(const std::string& path, bool* device, std::string* error);
  // Appends bytes to the held file or the device. False with the system's reason.
  bool Write(const std::string& bytes, std::string* error);
  // Flushes the held file to the disk, lets go of it and renames it to
  // finalPath, durably. False with the system's reason.
  bool CommitAs(const std::string& finalPath, std::string* error);
  // Closes the device that OpenDevice opened. False with the system's reason
  // when the close reports that a write failed.
  bool Close(std::string* error);
  // Lets go; the file or directory stays.
  void Release();

 private:
  // Holds handle, just opened for path, and returns true; when the open
  // failed (-1), false with the system's reason for it in *error.
  bool Hold(intptr_t handle, const std::string& path, std::string* error);

  intptr_t handle_ = -1;  // descriptor (POSIX) or HANDLE (Windows); -1 when nothing is held
  std::string path_;      // the file held (Windows: the lock file of a directory)
};

// Whether path names one of the process's own streams (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N): written as it is, whatever it leads to.
inline bool IsProcessStream(const std::string& path) {
  return path.starts_with("/dev/") || path.starts_with("/proc/");
}

// Removes path, a file or a directory with everything in it, unless another
// holds it. True when it was removed.
bool RemoveUnlessHeld(const std::string& path);

// This process's id.
uint32_t CurrentProcessId();
// False when no process with id pid runs on this machine (true when unsure).
bool ProcessRuns(uint32_t pid);

}  // namespace reclink::cli
