// Files as tests see them on POSIX systems: mkfifo, and F_GETLK for locks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

bool Fifo::Feed(const std::string& bytes) {
  // Opening for writing without waiting fails until a reader has it open.
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 3000; ++tries) {
    fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) usleep(10000);
  }
  if (fd < 0) return false;
  fcntl(fd, F_SETFL, 0);  // the writes below wait for the reader
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return done == bytes.size();
}

std::optional<std::string> Fifo::Drain() {
  // Open without waiting: poll then waits for the writer's bytes (a FIFO
  // shows no end before a writer has come and gone).
  const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 30000) != 1) break;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      close(fd);
      return n == 0 ? std::optional<std::string>(bytes) : std::nullopt;
    }
  }
  close(fd);
  return std::nullopt;
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

std::string UncDirectory() { return {}; }

FileSystemTypes TestFileSystemTypes() {
  // NFS, CIFS, SMB3, 9P; ext4, tmpfs, XFS, FUSE (its type does not say
  // where the files are).
  return {{"0x6969", "0xFF534D42", "0xFE534D42", "0x01021997"}, {"0xEF53", "0x01021994", "0x58465342", "0x65735546"}};
}

}  // namespace reclink::test
