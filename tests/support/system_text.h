#pragma once
// Text as the operating system has it, for tests that check the library's
// texts against the system's own: code page 932 conversions (iconv on POSIX
// systems, MultiByteToWideChar on Windows) and the system's words for an
// error.

#include <optional>
#include <string>

namespace reclink::test {

// bytes (code page 932) as UTF-8; nothing when they are not valid code page 932.
std::optional<std::string> Cp932ToUtf8(const std::string& bytes);
// text (UTF-8) as code page 932; nothing when it is not valid UTF-8 or holds a
// character that code page 932 has no form for.
std::optional<std::string> Utf8ToCp932(const std::string& text);

// The system's error number for a file that does not exist (ENOENT,
// ERROR_FILE_NOT_FOUND).
extern const int kFileNotFoundError;
// The calling thread's last system error (errno; GetLastError on Windows).
int LastSystemError();
void SetLastSystemError(int error);
// The system's own words for error (strerror; FormatMessageW, line break
// included), as UTF-8.
std::string SystemErrorWords(int error);
// The words for the calling thread's last error, for the messages of failed tests.
inline std::string LastErrorText() { return SystemErrorWords(LastSystemError()); }

}  // namespace reclink::test
