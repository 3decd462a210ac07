// CString: the library's byte string.
#include "reclink/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

CString::CString(const char* text) : bytes_(text != nullptr ? text : "") {}

CString::CString(const char* text, int length) {
  if (text != nullptr && length > 0) bytes_.assign(text, static_cast<size_t>(length));
}

CString& CString::operator=(const char* text) {
  bytes_.assign(text != nullptr ? text : "");
  return *this;
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    bytes_.clear();
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, again);
  va_end(again);
  bytes_.assign(buffer.data(), static_cast<size_t>(needed));
}

CString& CString::operator+=(const char* text) {
  if (text != nullptr) bytes_.append(text);
  return *this;
}

CString& CString::operator+=(const CString& text) {
  bytes_.append(text.bytes_);
  return *this;
}

CString& CString::operator+=(char c) {
  bytes_.push_back(c);
  return *this;
}

CString operator+(const CString& a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, const char* b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const char* a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

int CString::Compare(const char* text) const {
  // strcmp compares as unsigned char, so bytes 0x80 and up sort after ASCII.
  return std::strcmp(bytes_.c_str(), text != nullptr ? text : "");
}

int CString::ReverseFind(char c) const {
  size_t at = bytes_.rfind(c);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Mid(int first) const {
  if (first < 0) first = 0;
  if (static_cast<size_t>(first) >= bytes_.size()) return CString();
  return CString(bytes_.data() + first, static_cast<int>(bytes_.size()) - first);
}

CString CString::Left(int count) const {
  if (count <= 0) return CString();
  if (static_cast<size_t>(count) > bytes_.size()) count = static_cast<int>(bytes_.size());
  return CString(bytes_.data(), count);
}
