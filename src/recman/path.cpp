#include "recman/path.h"

#include <cstring>

#include "recman/os.h"
#include "recman/status_map.h"
#include "reclink/btrieve.h"

namespace recman {

std::string NameFromKeyBuffer(const void* key, unsigned keyLen) {
  if (key == nullptr) return {};
  const char* text = static_cast<const char*>(key);
  return os::NativeName(std::string(text, strnlen(text, keyLen)));
}

int CanonicalExisting(const std::string& name, std::string* out) {
  return StatusFromFail(os::CanonicalPath(name, out));
}

int CanonicalForCreate(const std::string& name, std::string* out) {
  const os::Fail f = os::CanonicalPathForCreate(name, out);
  // A missing directory is a failure to create, not a missing file.
  return f == os::Fail::kNotFound ? B_CREATE_IO_ERROR : StatusFromFail(f);
}

}  // namespace recman
