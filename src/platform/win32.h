#pragma once
// The real Windows calls behind the platform layer. Declared with plain types
// so that no file but win32.cpp sees <windows.h>, whose macros and types clash
// with the names winapi.h gives the library. Built on Windows only.

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32

namespace reclink::platform::win32 {

int ShowModalBox(const char* text, const char* caption, unsigned style);
uint32_t ShortPathName(const char* longPath, char* shortPath, uint32_t cch);
char* NextChar(const char* p);
int CompareText(const char* a, const char* b);
char* CopyText(char* dst, const char* src);
char* AppendText(char* dst, const char* src);
int TextLength(const char* s);
void* Alloc(unsigned flags, size_t bytes);
void* Lock(void* memory);
int Unlock(void* memory);
void* Free(void* memory);
uint32_t ProfileString(const char* section, const char* entry, const char* def, char* out,
                       uint32_t size, const char* fileName);
std::string ModuleFileName();
void DeleteGdiObject(void* object);
std::string LastErrorMessage();

}  // namespace reclink::platform::win32

#endif  // _WIN32
