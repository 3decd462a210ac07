// Text as Windows has it: code page 932 through UTF-16, GetLastError and
// FormatMessageW.
#include <windows.h>

#include "support/system_text.h"

namespace reclink::test {
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

}  // namespace

std::optional<std::string> Cp932ToUtf8(const std::string& bytes) {
  const std::optional<std::wstring> wide = Widen(932, bytes);
  return wide ? Narrow(CP_UTF8, *wide) : std::nullopt;
}

std::optional<std::string> Utf8ToCp932(const std::string& text) {
  const std::optional<std::wstring> wide = Widen(CP_UTF8, text);
  return wide ? Narrow(932, *wide) : std::nullopt;
}

const int kFileNotFoundError = ERROR_FILE_NOT_FOUND;

int LastSystemError() { return static_cast<int>(GetLastError()); }

void SetLastSystemError(int error) { SetLastError(static_cast<DWORD>(error)); }

std::string SystemErrorWords(int error) {
  wchar_t text[512] = {};
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(error), 0, text, 512, nullptr);
  return Narrow(CP_UTF8, std::wstring(text, n)).value_or(std::string());
}

}  // namespace reclink::test
