#include "mounts.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/btr_file.h"

namespace reclink::test {

TmpfsMount::TmpfsMount(size_t bytes) {
  if (geteuid() != 0) {
    why_ = "needs root";
    return;
  }
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/reclink-mnt-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    why_ = std::string("mkdtemp ") + pattern + ": " + std::strerror(errno);
    return;
  }
  path_ = pattern;
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    why_ = std::string("mount tmpfs: ") + std::strerror(errno);
    rmdir(path_.c_str());
    return;
  }
  ok_ = true;
}

// Every file of the record manager is closed (Reset) before a mount changes
// under it.
TmpfsMount::~TmpfsMount() {
  Tx(B_RESET);
  if (ok_ && umount2(path_.c_str(), 0) != 0) umount2(path_.c_str(), MNT_DETACH);
  if (!path_.empty()) rmdir(path_.c_str());
}

bool TmpfsMount::SetReadOnly(bool readOnly) {
  Tx(B_RESET);
  unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
  return mount("tmpfs", path_.c_str(), "tmpfs", flags, nullptr) == 0;
}

std::string FillUpTo(const std::string& dir, size_t leave) {
  struct statvfs s {};
  if (statvfs(dir.c_str(), &s) != 0) return "";
  const size_t avail = static_cast<size_t>(s.f_bavail) * s.f_frsize;
  const std::string path = dir + "/ballast";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "";
  // Allocated, not written: the file system counts the blocks as used.
  const bool filled = avail <= leave || posix_fallocate(fd, 0, static_cast<off_t>(avail - leave)) == 0;
  close(fd);
  return filled ? path : "";
}

}  // namespace reclink::test
