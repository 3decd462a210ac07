#include "recman/api/path.h"

#include <algorithm>

#include "recman/os/os.h"
#include "recman/storage/fail_status.h"
#include "reclink/btrieve.h"

namespace recman {

std::string TextIn(const void* buffer, unsigned length) {
  if (buffer == nullptr) return {};
  const char* text = static_cast<const char*>(buffer);
  return std::string(text, std::find(text, text + length, '\0'));
}

std::string NameFromKeyBuffer(const void* key, unsigned keyLen) { return os::NativeName(TextIn(key, keyLen)); }

int CanonicalExisting(const std::string& name, std::string* out) {
  return StatusFromFail(os::CanonicalPath(name, out));
}

int CanonicalForCreate(const std::string& name, std::string* out) {
  const os::Fail f = os::CanonicalPathForCreate(name, out);
  // A missing directory is a failure to create, not a missing file.
  return f == os::Fail::kNotFound ? B_CREATE_IO_ERROR : StatusFromFail(f);
}

}  // namespace recman
