// Forwarders to the Windows API (see win32.h).
#include "platform/win32.h"

#ifdef _WIN32

#include <windows.h>

namespace reclink::platform::win32 {

int ShowModalBox(const char* text, const char* caption, unsigned style) {
  return ::MessageBoxA(nullptr, text, caption, style);
}

uint32_t ShortPathName(const char* longPath, char* shortPath, uint32_t cch) {
  return ::GetShortPathNameA(longPath, shortPath, cch);
}

char* NextChar(const char* p) { return ::CharNextA(p); }

int CompareText(const char* a, const char* b) { return ::lstrcmpA(a, b); }
char* CopyText(char* dst, const char* src) { return ::lstrcpyA(dst, src); }
char* AppendText(char* dst, const char* src) { return ::lstrcatA(dst, src); }
int TextLength(const char* s) { return ::lstrlenA(s); }

void* Alloc(unsigned flags, size_t bytes) { return ::GlobalAlloc(flags, bytes); }
void* Lock(void* memory) { return ::GlobalLock(memory); }
int Unlock(void* memory) { return ::GlobalUnlock(memory); }
void* Free(void* memory) { return ::GlobalFree(memory); }

uint32_t ProfileString(const char* section, const char* entry, const char* def, char* out,
                       uint32_t size, const char* fileName) {
  return ::GetPrivateProfileStringA(section, entry, def, out, size, fileName);
}

std::string ModuleFileName() {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n < MAX_PATH ? n : 0);
}

void DeleteGdiObject(void* object) { ::DeleteObject(static_cast<HGDIOBJ>(object)); }

std::string LastErrorMessage() {
  DWORD code = ::GetLastError();
  if (code == 0) return std::string();
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  std::string result(text != nullptr ? text : "", n);
  ::LocalFree(text);
  return result;
}

}  // namespace reclink::platform::win32

#endif  // _WIN32
