#include <winsock2.h>

#include "recman/os/socket.h"

namespace recman::os {

SocketWait WaitSocket(int64_t socket, bool forWrite, int ms) {
  WSAPOLLFD fd{};
  fd.fd = static_cast<SOCKET>(socket);
  fd.events = static_cast<SHORT>(POLLRDNORM | (forWrite ? POLLWRNORM : 0));
  // A failed poll is left to the next read, which reports it.
  return WSAPoll(&fd, 1, ms) == 0 ? SocketWait::kTimeout : SocketWait::kReady;
}

}  // namespace recman::os
