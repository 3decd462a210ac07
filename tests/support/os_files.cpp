// Files as tests see them: a FIFO (mkfifo) or a named pipe, and another
// process's locks through F_GETLK or LockFileEx.
#include "support/os_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "support/system_text.h"

namespace reclink::test {

#ifdef _WIN32
Fifo::Fifo(const std::string&) {
  // Pipes live in their own name space, not in a directory: a name of this
  // process's own.
  static std::atomic<int> counter{0};
  const std::string path = "\\\\.\\pipe\\reclink-test-" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(++counter);
  // Both ways, for a reader or a writer; overlapped, so that waiting for
  // one can end.
  const HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot make the named pipe " << path << ": " << LastErrorText();
    return;
  }
  path_ = path;
  handle_ = reinterpret_cast<intptr_t>(pipe);
}

Fifo::~Fifo() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

namespace {

// Starts one overlapped operation on pipe through start(OVERLAPPED*) and
// waits up to 30 seconds for it; the bytes it moved, or nothing when it
// failed (GetLastError says why) or took longer.
template <typename Start>
std::optional<DWORD> Overlapped(HANDLE pipe, Start start) {
  OVERLAPPED io{};
  io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD n = 0;
  bool ok = start(&io) != FALSE;
  if (!ok && GetLastError() == ERROR_PIPE_CONNECTED) {
    ok = true;  // the other end came first: nothing to wait for
  } else if (ok || GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(io.hEvent, 30000) != WAIT_OBJECT_0) CancelIo(pipe);
    ok = GetOverlappedResult(pipe, &io, &n, TRUE) != FALSE;
  }
  const DWORD error = GetLastError();
  CloseHandle(io.hEvent);
  SetLastError(error);
  return ok ? std::optional<DWORD>(n) : std::nullopt;
}

// Waits up to 30 seconds for the other end to open pipe.
bool Connect(HANDLE pipe) {
  return Overlapped(pipe, [&](OVERLAPPED* io) { return ConnectNamedPipe(pipe, io); }).has_value();
}

}  // namespace

bool Fifo::Feed(const std::string& bytes) {
  if (handle_ == -1) return false;
  const HANDLE pipe = reinterpret_cast<HANDLE>(handle_);
  bool ok = Connect(pipe);
  for (size_t done = 0; ok && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 65536));
    const std::optional<DWORD> n = Overlapped(
        pipe, [&](OVERLAPPED* io) { return WriteFile(pipe, bytes.data() + done, chunk, nullptr, io); });
    ok = n.has_value();
    done += n.value_or(0);
  }
  if (ok) FlushFileBuffers(pipe);  // until the reader has taken everything
  CloseHandle(pipe);  // the reader sees the end
  handle_ = -1;
  return ok;
}

std::optional<std::string> Fifo::Drain() {
  if (handle_ == -1) return std::nullopt;
  const HANDLE pipe = reinterpret_cast<HANDLE>(handle_);
  std::optional<std::string> bytes;
  if (Connect(pipe)) {
    char buffer[4096];
    bytes.emplace();
    while (const std::optional<DWORD> n = Overlapped(
               pipe, [&](OVERLAPPED* io) { return ReadFile(pipe, buffer, sizeof buffer, nullptr, io); })) {
      bytes->append(buffer, *n);
    }
    if (GetLastError() != ERROR_BROKEN_PIPE) bytes.reset();  // the writer's close ends it
  }
  CloseHandle(pipe);
  handle_ = -1;
  return bytes;
}

bool ByteLockedByAnother(const std::string& path, uint64_t offset) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // An exclusive lock is refused while anyone holds any lock on the byte.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const bool free =
      LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != FALSE;
  if (free) UnlockFileEx(file, 0, 1, 0, &at);
  CloseHandle(file);
  return !free;
}

std::string UncDirectory() {
  const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  if (wine) {
    // Wine reaches \\server\share through <prefix>/dosdevices/unc/server/share;
    // its drive Z: is the Unix root.
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) {
      ADD_FAILURE() << "under Wine without WINEPREFIX: no way to the prefix's UNC directory";
      return {};
    }
    const std::string name = std::to_string(GetCurrentProcessId());
    const std::filesystem::path dir = "Z:" + std::string(prefix) + "/dosdevices/unc/recman-test/" + name;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      ADD_FAILURE() << "cannot make " << dir.string() << ": " << ec.message();
      return {};
    }
    return "\\\\recman-test\\" + name;
  }
  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n < 3 || temp[1] != ':') {
    ADD_FAILURE() << "no temporary directory on a drive";
    return {};
  }
  // C:\Users\...\Temp\ -> \\localhost\C$\Users\...\Temp
  return "\\\\localhost\\" + std::string(1, temp[0]) + "$" + std::string(temp + 2, n - 3);
}

FileSystemTypes TestFileSystemTypes() {
  return {{std::to_string(DRIVE_REMOTE)}, {std::to_string(DRIVE_FIXED), std::to_string(DRIVE_REMOVABLE)}};
}

#else
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
#endif

}  // namespace reclink::test
