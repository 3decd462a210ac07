// Files as tests see them on Windows: a named pipe, and LockFileEx for locks.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

#include "support/os_files.h"
#include "support/system_text.h"

namespace reclink::test {

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

// One overlapped operation on a pipe at a time, each waited for up to 30
// seconds.
class PipeIo {
 public:
  explicit PipeIo(HANDLE pipe) : pipe_(pipe) { io_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~PipeIo() { CloseHandle(io_.hEvent); }
  PipeIo(const PipeIo&) = delete;
  PipeIo& operator=(const PipeIo&) = delete;

  OVERLAPPED* Start() {
    ResetEvent(io_.hEvent);
    return &io_;
  }
  // Waits for the operation just started; true when it ended well, with the
  // bytes it moved in *n.
  bool Finish(BOOL started, DWORD* n) {
    *n = 0;
    if (!started) {
      const DWORD err = GetLastError();
      if (err == ERROR_PIPE_CONNECTED) return true;  // the other end came first
      if (err != ERROR_IO_PENDING) return false;
    }
    if (WaitForSingleObject(io_.hEvent, 30000) != WAIT_OBJECT_0) {
      CancelIo(pipe_);
      return false;
    }
    return GetOverlappedResult(pipe_, &io_, n, FALSE) != FALSE;
  }

 private:
  HANDLE pipe_;     // the pipe's server end
  OVERLAPPED io_{};  // the operation under way
};

}  // namespace

bool Fifo::Feed(const std::string& bytes) {
  if (handle_ == -1) return false;
  const HANDLE pipe = reinterpret_cast<HANDLE>(handle_);
  PipeIo io(pipe);
  DWORD n = 0;
  bool ok = io.Finish(ConnectNamedPipe(pipe, io.Start()), &n);
  for (size_t done = 0; ok && done < bytes.size(); done += n) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 65536));
    ok = io.Finish(WriteFile(pipe, bytes.data() + done, chunk, nullptr, io.Start()), &n);
  }
  if (ok) FlushFileBuffers(pipe);  // until the reader has taken everything
  CloseHandle(pipe);  // the reader sees the end
  handle_ = -1;
  return ok;
}

std::optional<std::string> Fifo::Drain() {
  if (handle_ == -1) return std::nullopt;
  const HANDLE pipe = reinterpret_cast<HANDLE>(handle_);
  PipeIo io(pipe);
  DWORD n = 0;
  std::optional<std::string> bytes;
  if (io.Finish(ConnectNamedPipe(pipe, io.Start()), &n)) {
    char buffer[4096];
    for (bytes.emplace(); io.Finish(ReadFile(pipe, buffer, sizeof buffer, nullptr, io.Start()), &n);) {
      bytes->append(buffer, n);
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
    std::string dir = "Z:" + std::string(prefix) + "/dosdevices";
    for (const std::string& part : {std::string("unc"), std::string("recman-test"), name}) {
      dir += "\\" + part;
      std::replace(dir.begin(), dir.end(), '/', '\\');
      if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ADD_FAILURE() << "cannot make " << dir << ": " << LastErrorText();
        return {};
      }
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

}  // namespace reclink::test
