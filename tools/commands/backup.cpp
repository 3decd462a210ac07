// backup: a copy of a database directory's record files, taken while the
// database stays in use (the record manager's continuous operation).
#include <filesystem>
#include <fstream>
#include <ostream>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/partial.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {
namespace {

namespace fs = std::filesystem;

// Copies the file at from into a new file at to, synced before it takes its
// name. Returns the system's reason on failure, else nothing.
std::string CopyBytes(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return "cannot read " + from;
  PartialOutput out;
  std::string error;
  if (!out.CreateFile(to, &error)) return "cannot create " + to + ": " + error;
  std::string chunk(1 << 20, '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    if (in.bad()) return "cannot read " + from;
    if (!out.Write(chunk.substr(0, static_cast<size_t>(in.gcount())), &error)) {
      return "cannot write " + to + ": " + error;
    }
  }
  if (!out.Commit(&error)) return "cannot write " + to + ": " + error;
  return {};
}

// The first problem the check finds in the copy at path; nothing when none.
std::string CheckCopy(const std::string& path) {
  std::string first;
  auto sink = [](void* ctx, const char* problem) {
    std::string* text = static_cast<std::string*>(ctx);
    if (text->empty()) *text = problem;
  };
  if (BtrCheckFile(path.c_str(), sink, &first) == 0) return {};
  return first.empty() ? "it cannot be read as a record file" : first;
}

// Thaws every frozen file when the command ends, however it ends.
struct Thaw {
  ~Thaw() { ThawAll(); }
};

}  // namespace

int RunBackup(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  const std::string& out = args.operands[1];
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Failure(io, "backup", dir + " is not a directory");
  if (fs::exists(fs::path(dir) / RECMAN_SERVER_CONFIG_NAME, ec)) {
    return Failure(io, "backup", dir + " keeps its files on a server (" RECMAN_SERVER_CONFIG_NAME
                                       "): back up its database there, with the server's own tools");
  }
  const std::vector<std::string> names = LocalRecordFiles(dir);
  if (names.empty()) return Failure(io, "backup", dir + " holds no record files (no file ending in .BTR)");
  fs::create_directories(out, ec);
  if (ec || !fs::is_directory(out, ec)) return Failure(io, "backup", "cannot make the directory " + out);
  if (!LocalRecordFiles(out).empty()) {
    return Failure(io, "backup", out + " already holds record files; a backup goes into a new or empty directory");
  }

  // Every file is frozen before the first is copied: the copies are the
  // files as they stood within one short moment.
  Thaw thaw;
  for (const std::string& name : names) {
    const std::string path = (fs::path(dir) / name).string();
    if (PathTooLong(io, "backup", path)) return kExitFailure;
    const int status = Freeze(path);
    if (status != 0) {
      return Failure(io, "backup", "cannot freeze " + path + " for the copy: " + StatusText(status) +
                                       "; nothing was copied");
    }
  }
  Progress progress(io.err, io.terminal, "backing up " + dir, names.size());
  uint64_t bytes = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string from = (fs::path(dir) / names[i]).string(), to = (fs::path(out) / names[i]).string();
    std::string why = CopyBytes(from, to);
    if (why.empty() && !(why = CheckCopy(to)).empty()) why = "the copy " + to + " does not pass the check: " + why;
    if (!why.empty()) return Failure(io, "backup", why + "; the backup in " + out + " is incomplete");
    bytes += fs::file_size(to, ec);
    progress.Update(i + 1);
  }
  progress.Finish();
  io.out << names.size() << " record files (" << bytes << " bytes) backed up from " << dir << " into " << out
         << "\n";
  return kExitOk;
}

}  // namespace reclink::cli
