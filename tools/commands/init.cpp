// init: every record file of the database in one directory.
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/btr_file.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/records/catalogue.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

// Replaces the record file at path with an empty one of the catalogue's
// layout: made in scratch by the library, then created over path with the
// same specification. Returns the status.
int ReplaceWithEmpty(const std::string& scratch, const std::string& path, const char* fileName) {
  int status = CreateRecordFile(scratch.c_str(), fileName);
  if (status != 0) return status;
  FileSpec spec;
  {
    BtrFile fresh;
    status = fresh.Open(scratch + "/" + fileName, B_MODE_READ_ONLY);
    if (status != 0) return status;
    status = fresh.Stat(&spec);
    if (status != 0) return status;
  }
  spec.allocation = 0;
  return CreateFile(path, spec, true);
}

}  // namespace

int RunInit(const Args& args, Io& io) {
  const std::string dir = args.operands[0];
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) return Failure(io, "init", "cannot make directory " + dir);

  std::vector<const char*> existing;
  for (const RecordFileRow& row : kRecordFiles) {
    if (fs::exists(fs::path(dir) / row.fileName, ec)) existing.push_back(row.fileName);
  }
  const bool force = args.Has("--force");
  if (!existing.empty() && !force) {
    std::string names;
    for (const char* n : existing) names += std::string(names.empty() ? "" : ", ") + n;
    return Failure(io, "init", dir + " already holds " + std::to_string(existing.size()) +
                                   " record files (" + names +
                                   "); nothing was created; --force replaces them");
  }

  std::string scratch;
  if (!existing.empty()) {
    std::string pattern = (fs::path(dir) / ".reclink-init-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      return Failure(io, "init", "cannot make a scratch directory in " + dir);
    }
    scratch = pattern;
  }
  int failed = 0;
  int replaced = 0;
  for (const RecordFileRow& row : kRecordFiles) {
    std::string path = (fs::path(dir) / row.fileName).string();
    bool exists = fs::exists(path, ec);
    int status = exists ? ReplaceWithEmpty(scratch, path, row.fileName)
                        : CreateRecordFile((dir + "/").c_str(), row.fileName);
    if (status != 0) {
      io.err << "reclink init: cannot create " << path << ": " << StatusText(status) << "\n";
      ++failed;
    } else if (exists) {
      io.out << "replaced " << row.fileName << "\n";
      ++replaced;
    }
  }
  if (!scratch.empty()) fs::remove_all(scratch, ec);
  if (failed) return kExitFailure;
  io.out << "created " << kRecordFileCount << " record files in " << dir;
  if (replaced) io.out << " (" << replaced << " replaced)";
  io.out << "\n";
  return kExitOk;
}

}  // namespace reclink::cli
