// Code page 932 character stepping and the byte-string routines.
#include "platform/winapi.h"

#ifdef _WIN32
#include "platform/win32.h"

LPSTR CharNextA(LPCSTR p) { return reclink::platform::win32::NextChar(p); }
int lstrcmpA(LPCSTR a, LPCSTR b) { return reclink::platform::win32::CompareText(a, b); }
LPSTR lstrcpyA(LPSTR dst, LPCSTR src) { return reclink::platform::win32::CopyText(dst, src); }
LPSTR lstrcatA(LPSTR dst, LPCSTR src) { return reclink::platform::win32::AppendText(dst, src); }
int lstrlenA(LPCSTR s) { return reclink::platform::win32::TextLength(s); }

#else
#include <cstring>

namespace {

// The lead bytes of code page 932's double-byte characters.
bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

LPSTR CharNextA(LPCSTR p) {
  if (p == nullptr) return nullptr;
  char* at = const_cast<char*>(p);
  if (*at == '\0') return at;
  // A lead byte followed by the terminator is a broken character: step onto
  // the zero, never past it.
  if (IsLeadByte(static_cast<unsigned char>(at[0])) && at[1] != '\0') return at + 2;
  return at + 1;
}

// Byte order, case-sensitive: the library only ever asks "equal or not".
int lstrcmpA(LPCSTR a, LPCSTR b) {
  int order = std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

LPSTR lstrcpyA(LPSTR dst, LPCSTR src) {
  if (dst == nullptr || src == nullptr) return nullptr;
  std::memmove(dst, src, std::strlen(src) + 1);
  return dst;
}

// A copy of src at dst's terminator.
LPSTR lstrcatA(LPSTR dst, LPCSTR src) {
  if (dst == nullptr || src == nullptr) return nullptr;
  lstrcpyA(dst + std::strlen(dst), src);
  return dst;
}

int lstrlenA(LPCSTR s) { return s == nullptr ? 0 : static_cast<int>(std::strlen(s)); }

#endif
