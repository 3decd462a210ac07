#pragma once
// CString: the byte string of the library. Text is code page 932 bytes; the
// class never interprets them. Values own their bytes; copies are deep.
// Built with the host framework (RECLINK_USE_HOST_FRAMEWORK), it is the
// framework's own class instead, in its multibyte form.

#include "reclink/reclink_export.h"

#if RECLINK_HOST_FRAMEWORK
#include <afx.h>
#else

#include <compare>
#include <string>

class RECLINK_EXPORT CString {
 public:
  CString() = default;
  // Copies the zero-terminated bytes of text; nullptr gives the empty string.
  CString(const char* text);  // NOLINT(google-explicit-constructor): as the framework's
  // Copies length bytes of text (which need not be zero-terminated).
  CString(const char* text, int length);
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const char* text);

  // The bytes, zero-terminated; valid until the string is next changed.
  operator const char*() const { return bytes_.c_str(); }  // NOLINT
  const char* GetString() const { return bytes_.c_str(); }

  // The number of bytes (not characters), without the terminating zero.
  int GetLength() const { return static_cast<int>(bytes_.size()); }
  // Nonzero when the string holds no bytes.
  int IsEmpty() const { return bytes_.empty() ? 1 : 0; }
  // Makes the string empty and releases its memory.
  void Empty() { bytes_.clear(); bytes_.shrink_to_fit(); }
  // The byte at index; precondition: 0 <= index < GetLength().
  char GetAt(int index) const { return bytes_[static_cast<size_t>(index)]; }

  // Replaces the contents with printf-style formatting of the arguments.
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Appends the bytes of text (nullptr appends nothing), another string or one byte.
  CString& operator+=(const char* text);
  CString& operator+=(const CString& text);
  CString& operator+=(char c);
  // A new string of a's bytes followed by b's.
  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, const char* b);
  friend CString operator+(const char* a, const CString& b);

  // Byte order comparison, as strcmp.
  int Compare(const char* text) const;
  friend bool operator==(const CString& a, const CString& b) { return a.bytes_ == b.bytes_; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend std::strong_ordering operator<=>(const CString& a, const CString& b) {
    return a.bytes_ <=> b.bytes_;
  }

  // Index of the last byte c, or -1.
  int ReverseFind(char c) const;
  // The bytes from index first to the end (empty when first is past the end).
  CString Mid(int first) const;
  // The first count bytes (all when count exceeds the length).
  CString Left(int count) const;

  // The bytes as a standard string; valid until the string is next changed.
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;  // the bytes, without a terminating zero
};

#endif  // RECLINK_HOST_FRAMEWORK
