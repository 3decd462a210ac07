#include "cli/input.h"

#include <cerrno>
#include <sys/stat.h>

#include "cli/reasons.h"

namespace reclink::cli {

bool OpenInput(const std::string& path, std::ifstream* in, std::string* error) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = path + " is a directory";
    return false;
  }
  errno = 0;
  in->open(path, std::ios::binary);
  if (!*in) {
    *error = "cannot read " + path + ": " + SystemReason(errno ? errno : EIO);
    return false;
  }
  return true;
}

bool ReadInput(const std::string& path, const char* what, size_t limit, std::string* text,
               std::string* error) {
  std::ifstream in;
  if (!OpenInput(path, &in, error)) return false;
  text->assign(limit + 1, '\0');
  in.read(text->data(), static_cast<std::streamsize>(text->size()));
  if (in.bad()) {
    *error = "cannot read " + path + ": " + SystemReason(errno ? errno : EIO);
    return false;
  }
  text->resize(static_cast<size_t>(in.gcount()));
  if (text->size() > limit) {
    *error = path + " is longer than " + std::to_string(limit) + " bytes, the most " + what +
             " may hold";
    return false;
  }
  return true;
}

}  // namespace reclink::cli
