// _splitpath: a path's drive, directory, file name and extension. On Windows
// the C runtime provides it.
#include "platform/winapi.h"

#ifndef _WIN32

#include <cstring>

namespace {

// Copies the bytes [first, last) to out as a zero-terminated string of at
// most capacity - 1 bytes; a null out is skipped.
void CopyPart(const char* first, const char* last, char* out, size_t capacity) {
  if (out == nullptr) return;
  size_t n = static_cast<size_t>(last - first);
  if (n > capacity - 1) n = capacity - 1;
  std::memcpy(out, first, n);
  out[n] = '\0';
}

}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  if (path == nullptr) path = "";
  const char* end = path + std::strlen(path);

  // A drive is a letter's byte and a colon; nothing else has one.
  const char* rest = path;
  if (path[0] != '\0' && path[1] == ':') rest = path + 2;
  CopyPart(path, rest, drive, _MAX_DRIVE);

  // The directory runs to the last separator of either kind, inclusive. Paths
  // here are UTF-8, so a separator byte is always a separator.
  const char* name = rest;
  for (const char* p = rest; p < end; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  CopyPart(rest, name, dir, _MAX_DIR);

  // The extension starts at the last dot of the name.
  const char* dot = end;
  for (const char* p = name; p < end; ++p) {
    if (*p == '.') dot = p;
  }
  CopyPart(name, dot, fname, _MAX_FNAME);
  CopyPart(dot, end, ext, _MAX_EXT);
}

#endif  // !_WIN32
