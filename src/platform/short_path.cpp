// GetShortPathNameA: the 8.3 form of a path. Linux file systems have no
// separate short names, so an existing path is its own short form.
#include "platform/winapi.h"

#ifdef _WIN32
#include "platform/win32.h"
#else
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD cch) {
#ifdef _WIN32
  return reclink::platform::win32::ShortPathName(longPath, shortPath, cch);
#else
  if (longPath == nullptr || longPath[0] == '\0') {
    errno = ENOENT;
    return 0;
  }
  struct stat info;
  if (stat(reclink::platform::NativePath(longPath).c_str(), &info) != 0) return 0;
  // The bytes go back as the caller wrote them, separators included; the
  // record manager reads backslashes as '/' itself. longPath and shortPath
  // may be the same buffer.
  std::string result(longPath);
  DWORD needed = static_cast<DWORD>(result.size()) + 1;
  if (shortPath == nullptr || cch < needed) return needed;
  std::memcpy(shortPath, result.c_str(), needed);
  return needed - 1;
#endif
}
