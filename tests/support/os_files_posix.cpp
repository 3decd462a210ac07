// Files as tests see them on POSIX systems: mkfifo, and F_GETLK for locks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/os_files.h"
#include "support/system_text.h"

namespace reclink::test {

Fifo::Fifo(const std::string& dir) {
  const std::string path = dir + "/fifo.dat";
  if (mkfifo(path.c_str(), 0600) != 0) {
    ADD_FAILURE() << "cannot make the FIFO " << path << ": " << LastErrorText();
    return;
  }
  path_ = path;
}

Fifo::~Fifo() {
  if (!path_.empty()) unlink(path_.c_str());
}

bool ByteLockedByAnother(const std::string& path, uint64_t offset) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = 1;
  const bool held = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(fd);
  return held;
}

}  // namespace reclink::test
