// Text as POSIX systems have it: iconv, errno and strerror.
#include <errno.h>
#include <iconv.h>

#include <cstring>

#include "support/system_text.h"

namespace reclink::test {
namespace {

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

std::optional<std::string> Cp932ToUtf8(const std::string& bytes) { return Convert("UTF-8", "CP932", bytes); }

std::optional<std::string> Utf8ToCp932(const std::string& text) { return Convert("CP932", "UTF-8", text); }

const int kFileNotFoundError = ENOENT;

int LastSystemError() { return errno; }

void SetLastSystemError(int error) { errno = error; }

std::string SystemErrorWords(int error) { return std::strerror(error); }

}  // namespace reclink::test
