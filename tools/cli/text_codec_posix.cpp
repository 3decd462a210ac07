// Code page 932 and UTF-8 through iconv.
#include "cli/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <vector>

namespace reclink::cli {

namespace {

// One iconv conversion descriptor, closed when done.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in; on a sequence it cannot take, calls onBad(byte) for the
  // first byte and goes on after it, or stops with false when onBad is null.
  template <typename OnBad>
  bool Run(const std::string& in, std::string* out, OnBad onBad) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
      char* dst = buffer.data();
      size_t dstLeft = buffer.size();
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out->append(buffer.data(), static_cast<size_t>(dst - buffer.data()));
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (!onBad(static_cast<unsigned char>(*src), out)) return false;
      ++src;
      --srcLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
  }

 private:
  iconv_t cd_;  // the descriptor, (iconv_t)-1 when iconv_open failed
};

}  // namespace

std::string Cp932ToUtf8(const std::string& bytes) {
  std::string out;
  Converter conv("UTF-8", "CP932");
  auto escape = [](unsigned char byte, std::string* to) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    to->append(hex);
    return true;
  };
  if (!conv.ok()) {
    for (unsigned char c : bytes) {
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        escape(c, &out);
      }
    }
    return out;
  }
  conv.Run(bytes, &out, escape);
  return out;
}

bool Utf8ToCp932(const std::string& text, std::string* out) {
  Converter conv("CP932", "UTF-8");
  if (!conv.ok()) return false;
  std::string result;
  if (!conv.Run(text, &result, [](unsigned char, std::string*) { return false; })) return false;
  *out = result;
  return true;
}

}  // namespace reclink::cli
