#include "recman/storage/placeholder.h"

#include <cstring>

#include "recman/os/os.h"
#include "reclink/btrieve.h"

namespace recman {

const char* const kPlaceholderText =
    "recman placeholder\n"
    "The records of this file are kept on the server that recman-server.conf,\n"
    "in this directory, names. Keep this file: programs find the record file\n"
    "by it. Delete it only together with the server's copy of the file.\n";

namespace {

// The first line alone identifies a placeholder: the words after it may
// change between versions.
const size_t kMagicLength = std::strchr(kPlaceholderText, '\n') - kPlaceholderText + 1;

}  // namespace

bool IsPlaceholder(const std::string& path) {
  std::string start;
  if (os::ReadStart(path, kMagicLength, &start) != os::Fail::kNone) return false;
  return start.size() == kMagicLength && std::memcmp(start.data(), kPlaceholderText, kMagicLength) == 0;
}

int MakePlaceholder(const std::string& path) {
  if (os::Exists(path)) return B_NO_ERROR;
  // Written under a name of its own and moved into place in one step: a
  // reader never sees half a placeholder, and a file that appears meanwhile
  // is never replaced.
  const std::string temporary = path + ".placeholder-" + std::to_string(os::ProcessId());
  os::RemoveFile(temporary);
  os::Fail f = os::WriteNewFile(temporary, kPlaceholderText);
  if (f == os::Fail::kNone) {
    f = os::RenameNoReplace(temporary, path);
    os::RemoveFile(temporary);
    if (f == os::Fail::kExists) f = os::Fail::kNone;
  }
  switch (f) {
    case os::Fail::kNone: return B_NO_ERROR;
    case os::Fail::kAccess: return B_ACCESS_DENIED;
    case os::Fail::kNoSpace: return B_DISK_FULL;
    default: return B_IO_ERROR;
  }
}

}  // namespace recman
