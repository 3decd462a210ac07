#include "cli/partial.h"

#include <filesystem>

#include "cli/reasons.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

constexpr char kMark[] = ".reclink-";   // between the base and the process id
constexpr char kEnding[] = ".partial";  // after the process id

std::string PartialPath(const std::string& base) {
  return base + kMark + std::to_string(CurrentProcessId()) + kEnding;
}

// The process id in a partial's file name, or 0 when name is not a partial's.
uint32_t PartialPid(const std::string& name) {
  const size_t ending = sizeof kEnding - 1;
  if (name.size() <= ending || name.compare(name.size() - ending, ending, kEnding) != 0) return 0;
  const size_t mark = name.rfind(kMark);
  if (mark == std::string::npos) return 0;
  const size_t first = mark + sizeof kMark - 1;
  const size_t last = name.size() - ending;
  if (first == last || last - first > 9) return 0;
  uint32_t pid = 0;
  for (size_t i = first; i < last; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  return pid;
}

}  // namespace

PartialOutput::~PartialOutput() {
  held_.Release();  // Windows removes nothing that is held
  if (direct_ || path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

bool PartialOutput::CreateFile(const std::string& finalPath, std::string* error) {
  std::error_code ec;
  // A link leads to the file that is replaced; a stream the process has
  // already (/dev/stdout, /dev/fd/N) is written as it is, whatever it leads to.
  const bool follow = !IsProcessStream(finalPath) && fs::is_symlink(finalPath, ec);
  const fs::path target = follow ? fs::canonical(finalPath, ec) : fs::path(finalPath);
  finalPath_ = ec ? finalPath : target.string();
  if (fs::is_directory(finalPath_, ec)) {
    *error = "it is a directory";
    return false;
  }
  bool device = false;
  if (held_.OpenDevice(finalPath_, &device, error)) {
    direct_ = true;
    return true;
  }
  if (device) return false;
  const std::string path = PartialPath(finalPath_);
  if (!held_.CreateFile(path, error)) return false;
  path_ = path;
  // A file replaced keeps who may read it: patient data may be its owner's alone.
  const fs::file_status replaced = fs::status(finalPath_, ec);
  if (!ec && fs::is_regular_file(replaced)) fs::permissions(path, replaced.permissions(), fs::perm_options::replace, ec);
  return true;
}

bool PartialOutput::CreateDirectory(const std::string& base, std::string* error) {
  const std::string path = PartialPath(base);
  std::error_code ec;
  fs::create_directory(path, ec);
  if (ec) {
    *error = SystemReason(ec.value());
    return false;
  }
  path_ = path;
  bool busy = false;
  if (held_.HoldDirectory(path, &busy, error)) return true;
  fs::remove_all(path, ec);
  path_.clear();
  return false;
}

bool PartialOutput::Write(const std::string& bytes, std::string* error) { return held_.Write(bytes, error); }

bool PartialOutput::Commit(std::string* error) {
  if (direct_) return held_.Close(error);
  if (!held_.CommitAs(finalPath_, error)) return false;
  path_.clear();  // renamed: nothing left to remove
  return true;
}

std::vector<std::string> RemoveStalePartials(const std::string& dir) {
  std::vector<std::string> removed;
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const uint32_t pid = PartialPid(it->path().filename().string());
    if (pid == 0 || ProcessRuns(pid)) continue;
    const std::string path = it->path().string();
    if (RemoveUnlessHeld(path)) removed.push_back(path);
  }
  return removed;
}

}  // namespace reclink::cli
