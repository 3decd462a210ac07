#include "cli/partial.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/reasons.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

constexpr char kMark[] = ".reclink-";   // between the base and the process id
constexpr char kEnding[] = ".partial";  // after the process id

std::string PartialPath(const std::string& base) {
  return base + kMark + std::to_string(::getpid()) + kEnding;
}

// The process id in a partial's file name, or 0 when name is not a partial's.
pid_t PartialPid(const std::string& name) {
  const size_t ending = sizeof kEnding - 1;
  if (name.size() <= ending || name.compare(name.size() - ending, ending, kEnding) != 0) return 0;
  const size_t mark = name.rfind(kMark);
  if (mark == std::string::npos) return 0;
  const size_t first = mark + sizeof kMark - 1;
  const size_t last = name.size() - ending;
  if (first == last || last - first > 9) return 0;
  pid_t pid = 0;
  for (size_t i = first; i < last; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

PartialOutput::~PartialOutput() {
  if (direct_) {
    ::close(fd_);
    return;
  }
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
  if (fd_ >= 0) ::close(fd_);
}

bool PartialOutput::Lock(std::string* error) {
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  *error = SystemReason(errno);
  if (fd_ >= 0) {
    std::error_code ec;
    fs::remove_all(path_, ec);
    ::close(fd_);
    fd_ = -1;
  }
  path_.clear();
  return false;
}

bool PartialOutput::CreateFile(const std::string& finalPath, std::string* error) {
  std::error_code ec;
  const fs::path target = fs::is_symlink(finalPath, ec) ? fs::canonical(finalPath, ec) : fs::path(finalPath);
  finalPath_ = ec ? finalPath : target.string();
  struct stat st;
  if (::stat(finalPath_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      *error = "it is a directory";
      return false;
    }
    fd_ = ::open(finalPath_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      *error = SystemReason(errno);
      return false;
    }
    direct_ = true;
    return true;
  }
  path_ = PartialPath(finalPath_);
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  return Lock(error);
}

bool PartialOutput::CreateDirectory(const std::string& base, std::string* error) {
  path_ = PartialPath(base);
  if (::mkdir(path_.c_str(), 0755) != 0 && errno != EEXIST) {
    *error = SystemReason(errno);
    path_.clear();
    return false;
  }
  fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  return Lock(error);
}

bool PartialOutput::Write(const std::string& bytes, std::string* error) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = SystemReason(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool PartialOutput::Commit(std::string* error) {
  if (direct_) {
    direct_ = ::close(fd_) != 0;
    if (direct_) *error = SystemReason(errno);
    fd_ = -1;
    return !direct_;
  }
  if (::fsync(fd_) != 0 || ::rename(path_.c_str(), finalPath_.c_str()) != 0) {
    *error = SystemReason(errno);
    return false;
  }
  path_.clear();  // renamed: nothing left to remove
  // The rename itself survives a power cut only once the directory is synced.
  std::string dir = fs::path(finalPath_).parent_path().string();
  int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  ::close(fd_);
  fd_ = -1;
  return true;
}

std::vector<std::string> RemoveStalePartials(const std::string& dir) {
  std::vector<std::string> removed;
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    pid_t pid = PartialPid(it->path().filename().string());
    if (pid <= 0 || ProcessRuns(pid)) continue;
    const std::string path = it->path().string();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat held, named;
    std::error_code removal;
    // Removed only under its lock, and only while the name still means the
    // file that was locked.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev && fs::remove_all(path, removal) != 0 && !removal) {
      removed.push_back(path);
    }
    ::close(fd);
  }
  return removed;
}

}  // namespace reclink::cli
