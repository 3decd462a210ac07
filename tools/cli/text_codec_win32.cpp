// Code page 932 and UTF-8 through Windows' own conversions, by way of UTF-16.
#include <windows.h>

#include <cstdio>

#include "cli/text_codec.h"

namespace reclink::cli {

namespace {

constexpr UINT kCodePage932 = 932;

// wide as UTF-8 (which has a form for every character).
std::string Utf8(const wchar_t* wide, int n) {
  std::string out(static_cast<size_t>(n) * 3, '\0');
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, n, out.data(), static_cast<int>(out.size()),
                                        nullptr, nullptr);
  out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(const std::string& bytes) {
  // Character by character, so that a sequence that is not code page 932
  // shows as the escape of its first byte and the text goes on after it.
  std::string out;
  for (size_t at = 0; at < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const int length = IsDBCSLeadByteEx(kCodePage932, byte) && at + 1 < bytes.size() ? 2 : 1;
    wchar_t wide[2];
    const int n = MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, bytes.data() + at, length, wide, 2);
    if (n > 0) {
      out += Utf8(wide, n);
      at += static_cast<size_t>(length);
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    out += hex;
    ++at;
  }
  return out;
}

bool Utf8ToCp932(const std::string& text, std::string* out) {
  if (text.empty()) {
    out->clear();
    return true;
  }
  const int size = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), size);
  if (n <= 0) return false;
  std::string result(static_cast<size_t>(n) * 2, '\0');
  BOOL lossy = FALSE;  // a character that code page 932 has no form for
  const int bytes = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), n, result.data(),
                                        static_cast<int>(result.size()), nullptr, &lossy);
  if (bytes <= 0 || lossy) return false;
  result.resize(static_cast<size_t>(bytes));
  *out = result;
  return true;
}

}  // namespace reclink::cli
