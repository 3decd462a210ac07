// create and clone: empty record files from a description or another file.
#include <fstream>
#include <ostream>
#include <sstream>

#include "cli/btr_file.h"
#include "cli/description.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

int CreateAndReport(Io& io, const char* command, const std::string& path, const FileSpec& spec,
                    bool overwrite) {
  int status = CreateFile(path, spec, overwrite);
  if (status == B_FILE_ALREADY_EXISTS) {
    return Failure(io, command, path + " exists; --force replaces it");
  }
  if (status != 0) return Failure(io, command, "cannot create " + path + ": " + StatusText(status));
  io.out << "created " << path << ": records of " << spec.recordLength << " bytes, "
         << spec.keys.size() << " keys\n";
  return kExitOk;
}

}  // namespace

int RunCreate(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& descPath = args.operands[1];
  std::ifstream in(descPath, std::ios::binary);
  if (!in) return Failure(io, "create", "cannot read " + descPath);
  std::stringstream text;
  text << in.rdbuf();
  Description desc;
  DescriptionError error;
  if (!ParseDescription(text.str(), &desc, &error)) {
    return Failure(io, "create", descPath + ": " + error.ToString());
  }
  return CreateAndReport(io, "create", path, desc.spec, desc.replace || args.Has("--force"));
}

int RunClone(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& existing = args.operands[1];
  BtrFile file;
  int status = file.Open(existing, B_MODE_READ_ONLY);
  if (status != 0) {
    return Failure(io, "clone", "cannot open " + existing + ": " + StatusText(status));
  }
  FileSpec spec;
  status = file.Stat(&spec);
  if (status != 0) {
    return Failure(io, "clone", "cannot stat " + existing + ": " + StatusText(status));
  }
  file.Close();
  spec.allocation = 0;  // Stat reports unused pages there, Create takes preallocation
  return CreateAndReport(io, "clone", path, spec, args.Has("--force"));
}

}  // namespace reclink::cli
