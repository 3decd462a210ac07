#pragma once
// The system calls the library makes, with the names and meanings they have on
// Windows. On Windows they forward to the real API; elsewhere they are ours.
// Only this directory may hold code that depends on the operating system.

#include <cstddef>
#include <cstdint>
#include <string>

#include "reclink/cstring.h"

#if RECLINK_HOST_FRAMEWORK
// Built with the host framework, whose headers bring <windows.h>: the library
// calls Windows' own functions and the framework's AfxMessageBox, and the
// stand-ins below are not built.
#include <afxwin.h>
#include <stdlib.h>  // _splitpath and the _MAX_* sizes of the C runtime
#else

using BOOL = int;
using DWORD = uint32_t;
using UINT = unsigned;
using HGLOBAL = void*;
using HWND = void*;
using LPVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Message box styles and results.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONSTOP = 0x00000010;
constexpr UINT MB_ICONHAND = MB_ICONSTOP;
constexpr int IDOK = 1;

// GlobalAlloc flags.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

#ifdef _WIN32
#include <stdlib.h>  // _splitpath and the _MAX_* sizes of the C runtime
#else
// Sizes of _splitpath's parts, terminating zero included.
constexpr size_t _MAX_PATH = 260;
constexpr size_t _MAX_DRIVE = 3;
constexpr size_t _MAX_DIR = 256;
constexpr size_t _MAX_FNAME = 256;
constexpr size_t _MAX_EXT = 256;
#endif

// Shows a modal box through the message-box hook; returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// As MessageBoxA, captioned with the application's title (AppTitle).
int AfxMessageBox(LPCSTR text, UINT type = MB_OK);
// The host application's title: its CWinApp's name, else the executable's stem.
CString AppTitle();

// Writes the short (8.3) form of longPath to shortPath (cch bytes). Returns its
// length without the zero; the size needed, zero included, when cch is too
// small; 0, leaving shortPath alone, when the file does not exist.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD cch);

// The next character of a code page 932 string: lead bytes 0x81-0x9F and
// 0xE0-0xFC take two bytes. At the terminating zero, returns p itself.
LPSTR CharNextA(LPCSTR p);
// Byte-string routines; arguments are zero-terminated, destinations big enough.
int lstrcmpA(LPCSTR a, LPCSTR b);  // <0, 0, >0: byte order on Linux, the system's on Windows
LPSTR lstrcpyA(LPSTR dst, LPCSTR src);
LPSTR lstrcatA(LPSTR dst, LPCSTR src);
int lstrlenA(LPCSTR s);  // 0 for nullptr

// Global memory: GMEM_ZEROINIT fills with zero. GlobalAlloc returns nullptr on
// failure; GlobalFree returns nullptr on success, the handle on failure.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);

// Reads entry of section from the profile file as the Windows call does: names
// compared without case, value trimmed and stripped of one pair of quotes,
// lines beginning with ';' ignored, def (trailing blanks removed) when missing.
// Copies at most size - 1 bytes plus a zero; returns the bytes copied.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR entry, LPCSTR def, LPSTR out, DWORD size,
                               LPCSTR fileName);

#ifndef _WIN32
// Splits path into drive ("C:"), directory (ending with its separator), file
// name and extension (with its dot); either separator is accepted. Null parts
// are skipped; each part fits the _MAX_* size. (The C runtime's on Windows.)
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
#endif

#endif  // RECLINK_HOST_FRAMEWORK

// Today's local date as "%Y/%m/%d".
CString LocalDateString();

// The system's text for the calling thread's last error, or "" when it has none.
CString LastErrorText();

namespace reclink::platform {

// The path as the file system takes it: on Linux every backslash becomes '/'.
std::string NativePath(const char* path);

// The running executable's full path ("" if unknown).
std::string ExecutablePath();
// The executable's file name without directory and extension ("" if unknown).
std::string ExecutableStem();
// "<executable's directory>/<executable's stem>.ini": the profile an
// application has when nobody names another.
std::string DefaultProfilePath();

// Test support: makes the next count GlobalAlloc calls fail.
void FailNextGlobalAllocs(int count);

}  // namespace reclink::platform
