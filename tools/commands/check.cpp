// check: storage, indexes and record lengths of one file or a whole directory.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <ostream>
#include <sys/stat.h>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/layout_check.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"
#include "reclink/records/catalogue.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

// Problems of one file, as the record manager's check reports them.
struct Problems {
  std::vector<std::string> lines;  // one per problem
};

void Collect(void* ctx, const char* problem) {
  static_cast<Problems*>(ctx)->lines.push_back(problem);
}

// The row of the database's record-file table named like path's last component
// (in any case), or nullptr.
const RecordFileRow* RowOf(const fs::path& path) {
  std::string name = path.filename().string();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return FindRecordFile(name.c_str());
}

// Checks one file; writes its verdict; returns the number of problems.
int CheckOne(const std::string& path, Io& io) {
  Problems problems;
  uint32_t records = 0;
  if (!PathFits(path)) {
    problems.lines.push_back("the path is longer than the " + std::to_string(B_MAX_KEY_LENGTH) +
                             " bytes a record file's path may have");
  } else if (BtrCheckFile(path.c_str(), &Collect, &problems) >= 0) {
    // Read as the record manager's check reads it: a file with an owner
    // name is checked as it is, without the name.
    FileSpec spec;
    const int status = StatFile(path, &spec);
    if (status != 0) {
      problems.lines.push_back("cannot read its specification: " + StatusText(status));
    } else {
      records = spec.records;
      if (const RecordFileRow* row = RowOf(path)) {
        for (std::string& d : LayoutDifferences(*row, spec)) problems.lines.push_back(std::move(d));
      }
    }
  } else if (problems.lines.empty()) {
    problems.lines.push_back("cannot be opened as a record file");
  }
  if (problems.lines.empty()) {
    io.out << path << ": ok, " << records << " records\n";
    return 0;
  }
  for (const std::string& p : problems.lines) io.out << path << ": " << p << "\n";
  return static_cast<int>(problems.lines.size());
}

bool IsRecordFileName(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".btr";
}

}  // namespace

int RunCheck(const Args& args, Io& io) {
  const std::string& target = args.operands[0];
  // A directory whose files are on a server holds only its configuration:
  // the server's files are checked, a file of it need not be here.
  std::error_code ec;
  const bool directory = fs::is_directory(target, ec);
  std::vector<std::string> onServer;
  const bool served = ServerFiles(directory ? target : fs::path(target).parent_path().string(), &onServer);
  struct stat st;
  if (!served && ::stat(target.c_str(), &st) != 0) {
    return Failure(io, "check", "cannot check " + target + ": " + SystemReason(errno));
  }
  if (!directory) return CheckOne(target, io) == 0 ? kExitOk : kExitFailure;

  std::vector<fs::path> files;
  for (const std::string& name : onServer) files.push_back(fs::path(target) / name);
  for (fs::directory_iterator it(target, ec), end; !served && !ec && it != end; it.increment(ec)) {
    std::error_code entry;
    if (it->is_regular_file(entry) && IsRecordFileName(it->path())) files.push_back(it->path());
  }
  if (ec) {
    return Failure(io, "check",
                   "cannot read directory " + target + ": " + SystemReason(ec.value()));
  }
  if (files.empty()) {
    return Failure(io, "check", target + " holds no record files (no file ending in .BTR)");
  }
  std::sort(files.begin(), files.end());
  int problems = 0;
  bool database = false;
  for (const fs::path& f : files) {
    problems += CheckOne(f.string(), io);
    database = database || FindRecordFile(f.filename().string().c_str()) != nullptr;
  }
  // A directory that holds record files of the database should hold them all.
  if (database) {
    for (const RecordFileRow& row : kRecordFiles) {
      const bool present = served ? std::find(onServer.begin(), onServer.end(), row.fileName) != onServer.end()
                                  : fs::exists(fs::path(target) / row.fileName, ec);
      if (!present) {
        io.out << (fs::path(target) / row.fileName).string() << ": missing\n";
        ++problems;
      }
    }
  }
  io.out << "checked " << files.size() << (files.size() == 1 ? " file: " : " files: ")
         << (problems == 0   ? std::string("no problems")
             : problems == 1 ? std::string("1 problem")
                             : std::to_string(problems) + " problems") << "\n";
  return problems ? kExitFailure : kExitOk;
}

}  // namespace reclink::cli
