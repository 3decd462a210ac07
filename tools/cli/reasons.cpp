#include "cli/reasons.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "reclink/recman_check.h"

namespace reclink::cli {

std::string StatusText(int status) {
  // Appended piece by piece: g++ 12 warns falsely about "text" + std::string
  // in optimised builds.
  std::string text = "status ";
  text += std::to_string(status);
  text += " (";
  text += BtrStatusText(status);
  text += ")";
  // What the record manager knew beyond the status, about the call that
  // gave it (the last one of this thread).
  const std::string reason = BtrLastReason();
  if (status != 0 && !reason.empty()) {
    text += ": ";
    text += reason;
  }
  return text;
}

std::string SystemReason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

std::string OpenReason(const std::string& path, int status) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? StatusText(status) : SystemReason(errno);
  }
  if (S_ISDIR(st.st_mode)) return "it is a directory";
  return StatusText(status);
}

std::string WriteReason(const std::string& path, int status) {
  std::string probe = path;
  if (::access(path.c_str(), F_OK) != 0) {
    probe = std::filesystem::path(path).parent_path().string();
    if (probe.empty()) probe.assign(1, '.');  // not = ".": g++ 12 warns falsely on that
  }
  if (::access(probe.c_str(), W_OK) != 0) return SystemReason(errno);
  return StatusText(status);
}

}  // namespace reclink::cli
