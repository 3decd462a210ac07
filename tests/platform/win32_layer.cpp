// The platform layer's calls as win32_test.cpp makes them: that file sees
// <windows.h>, whose names clash with the layer's own header.
#include <string>

#include "platform/winapi.h"

namespace reclink::test {

unsigned long LayerShortPathName(const char* longPath, char* shortPath, unsigned long size) {
  return GetShortPathNameA(longPath, shortPath, static_cast<DWORD>(size));
}

}  // namespace reclink::test
