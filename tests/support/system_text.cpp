// Text as the system has it: code page 932 through iconv on POSIX systems
// and through UTF-16 on Windows; errno and strerror, or GetLastError and
// FormatMessageW.
#include "support/system_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>

#include <cstring>
#endif

namespace reclink::test {

#ifdef _WIN32
namespace {

// bytes in codePage as UTF-16; nothing when they are not valid there.
std::optional<std::wstring> Widen(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n);
  return wide;
}

// wide in codePage; nothing when a character has no form there.
std::optional<std::string> Narrow(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  // UTF-8 has a form for everything and takes no "default character" argument.
  BOOL lossy = FALSE;
  BOOL* lost = codePage == CP_UTF8 ? nullptr : &lossy;
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, lost);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

constexpr UINT kUtf8 = CP_UTF8, kCp932 = 932;

// text converted between code pages; nothing when some of it is not valid
// in from or has no form in to.
std::optional<std::string> Convert(UINT to, UINT from, const std::string& text) {
  const std::optional<std::wstring> wide = Widen(from, text);
  return wide ? Narrow(to, *wide) : std::nullopt;
}

}  // namespace

const int kFileNotFoundError = ERROR_FILE_NOT_FOUND;

int LastSystemError() { return static_cast<int>(GetLastError()); }

void SetLastSystemError(int error) { SetLastError(static_cast<DWORD>(error)); }

std::string SystemErrorWords(int error) {
  wchar_t text[512] = {};
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(error), 0, text, 512, nullptr);
  return Narrow(CP_UTF8, std::wstring(text, n)).value_or(std::string());
}

#else
namespace {

constexpr char kUtf8[] = "UTF-8", kCp932[] = "CP932";

// text converted from one encoding to another; nothing when some of it is
// not valid in from or has no form in to.
std::optional<std::string> Convert(const char* to, const char* from, std::string text) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4, '\0');
  char *src = text.data(), *dst = out.data();
  size_t srcLeft = text.size(), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

}  // namespace

const int kFileNotFoundError = ENOENT;

int LastSystemError() { return errno; }

void SetLastSystemError(int error) { errno = error; }

std::string SystemErrorWords(int error) { return std::strerror(error); }
#endif

std::optional<std::string> Cp932ToUtf8(const std::string& bytes) { return Convert(kUtf8, kCp932, bytes); }

std::optional<std::string> Utf8ToCp932(const std::string& text) { return Convert(kCp932, kUtf8, text); }

}  // namespace reclink::test
