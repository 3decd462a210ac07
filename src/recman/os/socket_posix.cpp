#include <cerrno>
#include <poll.h>

#include "recman/os/socket.h"

namespace recman::os {

SocketWait WaitSocket(int64_t socket, bool forWrite, int ms) {
  pollfd fd{};
  fd.fd = static_cast<int>(socket);
  fd.events = static_cast<short>(POLLIN | (forWrite ? POLLOUT : 0));
  int n;
  do {
    n = ::poll(&fd, 1, ms);
  } while (n < 0 && errno == EINTR);
  // A failed poll is left to the next read, which reports it.
  return n == 0 ? SocketWait::kTimeout : SocketWait::kReady;
}

}  // namespace recman::os
