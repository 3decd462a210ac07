// Paths as the file system takes them, and where the executable lives.
#include "platform/winapi.h"

#ifdef _WIN32
#include "platform/win32.h"
#else
#include <unistd.h>

#include <vector>
#endif

namespace reclink::platform {

std::string NativePath(const char* path) {
  std::string native(path != nullptr ? path : "");
#ifndef _WIN32
  // Paths on Linux are UTF-8, which never holds the byte 0x5C inside a
  // character, so every backslash is a separator the library wrote.
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
#endif
  return native;
}

std::string ExecutablePath() {
#ifdef _WIN32
  return win32::ModuleFileName();
#else
  std::vector<char> buffer(4096);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return std::string();
  return std::string(buffer.data(), static_cast<size_t>(n));
#endif
}

std::string ExecutableStem() {
  std::string path = ExecutablePath();
  char fname[_MAX_FNAME] = {};
  _splitpath(path.c_str(), nullptr, nullptr, fname, nullptr);
  return fname;
}

std::string DefaultProfilePath() {
  std::string path = ExecutablePath();
  if (path.empty()) return path;
  size_t stemEnd = path.rfind('.');
  size_t nameStart = path.find_last_of("/\\");
  if (stemEnd != std::string::npos && (nameStart == std::string::npos || stemEnd > nameStart)) {
    path.erase(stemEnd);
  }
  return path + ".ini";
}

}  // namespace reclink::platform
