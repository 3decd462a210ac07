// Held files on POSIX systems: flock on an open descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "cli/held_file.h"
#include "cli/reasons.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

// Opens path (flags added to those every open here takes; a file made by
// O_CREAT gets 0666 less the umask) and locks it without waiting; the
// descriptor, or -1 with errno set. With O_CREAT, a file it cannot lock is
// removed again.
int OpenLocked(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  const int err = errno;
  ::close(fd);
  if (flags & O_CREAT) ::unlink(path.c_str());
  errno = err;
  return -1;
}

}  // namespace

bool HeldFile::CreateFile(const std::string& path, std::string* error) {
  Release();
  return Hold(OpenLocked(path, O_WRONLY | O_CREAT | O_TRUNC), path, error);
}

bool HeldFile::HoldDirectory(const std::string& dir, bool* busy, std::string* error) {
  Release();
  const int fd = OpenLocked(dir, O_RDONLY | O_DIRECTORY);
  *busy = fd < 0 && errno == EWOULDBLOCK;
  return Hold(fd, dir, error);
}

bool HeldFile::Hold(intptr_t handle, const std::string& path, std::string* error) {
  if (handle < 0) {
    *error = SystemReason(errno);
    return false;
  }
  handle_ = handle;
  path_ = path;
  return true;
}

bool HeldFile::OpenDevice(const std::string& path, bool* device, std::string* error) {
  Release();
  struct stat st;
  const bool stream = IsProcessStream(path);
  *device = stream || (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
  if (!*device) return false;
  // Appended to: a standard output that leads to a file keeps what it holds.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | (stream ? O_APPEND : 0));
  if (fd < 0) {
    *error = SystemReason(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

bool HeldFile::Write(const std::string& bytes, std::string* error) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = SystemReason(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool HeldFile::CommitAs(const std::string& finalPath, std::string* error) {
  if (::fsync(static_cast<int>(handle_)) != 0 || ::rename(path_.c_str(), finalPath.c_str()) != 0) {
    *error = SystemReason(errno);
    return false;
  }
  // The rename itself survives a power cut only once the directory is synced.
  const std::string dir = fs::path(finalPath).parent_path().string();
  const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  Release();
  return true;
}

bool HeldFile::Close(std::string* error) {
  const bool closed = ::close(static_cast<int>(handle_)) == 0;
  if (!closed) *error = SystemReason(errno);
  handle_ = -1;
  return closed;
}

void HeldFile::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  path_.clear();
}

bool RemoveUnlessHeld(const std::string& path) {
  const int fd = OpenLocked(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat held, named;
  std::error_code removal;
  // Removed under the lock, and only while the name still means the file
  // that was locked.
  const bool removed = ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                       held.st_ino == named.st_ino && held.st_dev == named.st_dev &&
                       fs::remove_all(path, removal) != 0 && !removal;
  ::close(fd);
  return removed;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ProcessRuns(uint32_t pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace reclink::cli
