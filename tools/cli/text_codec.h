#pragma once
// Conversion between the records' code page 932 text and the terminal's UTF-8:
// through the C library's iconv on POSIX systems (text_codec_posix.cpp), with
// Windows' own conversions there (text_codec_win32.cpp); chosen by CMake.

#include <string>

namespace reclink::cli {

// bytes (code page 932) as UTF-8. A byte sequence that is not code page 932
// comes out as \xNN escapes, so nothing is lost or hidden.
std::string Cp932ToUtf8(const std::string& bytes);

// text (UTF-8) as code page 932. False when text holds a character that code
// page 932 cannot represent or is not valid UTF-8; *out is then unchanged.
bool Utf8ToCp932(const std::string& text, std::string* out);

}  // namespace reclink::cli
