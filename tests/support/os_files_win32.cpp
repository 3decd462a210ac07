// Files as tests see them on Windows: a named pipe, and LockFileEx for locks.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
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
  const HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       1, 0, 0, 0, nullptr);
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

}  // namespace reclink::test
