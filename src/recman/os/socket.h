// Waiting on a network connection's socket with a time limit, for the
// server backend: a server that stops answering ends a call with a status
// instead of holding it.
#pragma once

#include <cstdint>

namespace recman::os {

// What a wait on a socket came to.
enum class SocketWait {
  kReady,    // the socket can be read (or, when asked, written), or has failed
  kTimeout,  // nothing happened within the time
};

// Waits until socket (a descriptor on POSIX systems, a SOCKET on Windows)
// can be read, or written as well when forWrite, for at most ms
// milliseconds.
SocketWait WaitSocket(int64_t socket, bool forWrite, int ms);

}  // namespace recman::os
