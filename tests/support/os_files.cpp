// Files as tests see them: another process's locks through F_GETLK or
// LockFileEx, and the system's kinds of file system.
#include "support/os_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace reclink::test {

#ifdef _WIN32
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
