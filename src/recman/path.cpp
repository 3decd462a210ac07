#include "recman/path.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>

#include "recman/status_map.h"
#include "reclink/btrieve.h"

namespace recman {

std::string NameFromKeyBuffer(const void* key, unsigned keyLen) {
  if (key == nullptr) return {};
  const char* text = static_cast<const char*>(key);
  std::string name(text, strnlen(text, keyLen));
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

int CanonicalExisting(const std::string& name, std::string* out) {
  if (name.empty() || name.size() >= PATH_MAX) return B_FILENAME_BAD;
  char resolved[PATH_MAX];
  if (realpath(name.c_str(), resolved) == nullptr) return StatusFromErrno(errno);
  *out = resolved;
  return B_NO_ERROR;
}

int CanonicalForCreate(const std::string& name, std::string* out) {
  if (name.empty() || name.size() >= PATH_MAX || name.back() == '/') return B_FILENAME_BAD;
  const size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  if (leaf == "." || leaf == "..") return B_FILENAME_BAD;
  char resolved[PATH_MAX];
  if (realpath(dir.c_str(), resolved) == nullptr) {
    return errno == ENOENT || errno == ENOTDIR ? B_CREATE_IO_ERROR : StatusFromErrno(errno);
  }
  std::string path = resolved;
  if (path.back() != '/') path += '/';
  *out = path + leaf;
  return B_NO_ERROR;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace recman
