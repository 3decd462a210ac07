// create and clone: empty record files from a description or another file.
#include <filesystem>
#include <ostream>

#include "cli/btr_file.h"
#include "cli/description.h"
#include "cli/input.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

constexpr size_t kMaxDescription = 1 << 20;  // bytes; a description of 119 keys needs a few KiB
constexpr size_t kMaxTableFile = 265;        // bytes: a whole collating sequence definition

// Reads the table files a description names, relative to the description's
// own directory.
TableReader TablesBeside(const std::string& descPath) {
  return [dir = std::filesystem::path(descPath).parent_path()](const std::string& name, std::string* bytes,
                                                               std::string* why) {
    // An absolute name stays as it is.
    return ReadInput((dir / name).string(), "a collating sequence", kMaxTableFile, bytes, why);
  };
}

int CreateAndReport(Io& io, const char* command, const std::string& path, const FileSpec& spec,
                    bool overwrite) {
  int status = CreateFile(path, spec, overwrite);
  if (status == B_FILE_ALREADY_EXISTS) {
    return Failure(io, command, path + " exists; --force replaces it");
  }
  if (status != 0) {
    return Failure(io, command, "cannot create " + path + ": " + WriteReason(path, status));
  }
  io.out << "created " << path << ": records of " << spec.recordLength << " bytes, "
         << spec.keys.size() << " keys\n";
  return kExitOk;
}

}  // namespace

int RunCreate(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& descPath = args.operands[1];
  if (OutputIsInput(io, "create", path, descPath) || PathTooLong(io, "create", path)) {
    return kExitFailure;
  }
  std::string text;
  std::string error;
  if (!ReadInput(descPath, "a description", kMaxDescription, &text, &error)) {
    return Failure(io, "create", error);
  }
  Description desc;
  DescriptionError mistake;
  if (!ParseDescription(text, TablesBeside(descPath), &desc, &mistake)) {
    return Failure(io, "create", descPath + ": " + mistake.ToString());
  }
  return CreateAndReport(io, "create", path, desc.spec, desc.replace || args.Has("--force"));
}

int RunClone(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& existing = args.operands[1];
  if (OutputIsInput(io, "clone", path, existing) || PathTooLong(io, "clone", path)) {
    return kExitFailure;
  }
  BtrFile file;
  FileSpec spec;
  if (!OpenRecordFile(io, "clone", existing, B_MODE_READ_ONLY, &file, &spec)) return kExitFailure;
  file.Close();
  spec.allocation = 0;  // Stat reports unused pages there, Create takes preallocation
  return CreateAndReport(io, "clone", path, spec, args.Has("--force"));
}

}  // namespace reclink::cli
