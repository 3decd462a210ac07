// check: storage, indexes and record lengths of one file or a whole directory.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/btr_file.h"
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

// Compares the file's specification with its row of the catalogue.
void CompareWithCatalogue(const RecordFileRow& row, const FileSpec& spec, Problems* problems) {
  if (spec.recordLength != row.recordLength) {
    problems->lines.push_back("record length " + std::to_string(spec.recordLength) +
                              ", the database's " + row.fileName + " has " +
                              std::to_string(row.recordLength));
  }
  if (spec.keys.size() < row.keyCount) {
    problems->lines.push_back(std::to_string(spec.keys.size()) + " keys, the database's " +
                              row.fileName + " has " + std::to_string(row.keyCount));
    return;
  }
  for (int k = 0; k < row.keyCount; ++k) {
    const KeyLayout& want = row.keys[k];
    const KeySpec& have = spec.keys[static_cast<size_t>(k)];
    bool same = static_cast<int>(have.segments.size()) == want.segmentCount;
    for (int s = 0; same && s < want.segmentCount; ++s) {
      same = have.segments[static_cast<size_t>(s)].position == want.segments[s].offset + 1 &&
             have.segments[static_cast<size_t>(s)].length == want.segments[s].width;
    }
    if (!same) problems->lines.push_back("key " + std::to_string(k) + " differs from the database's layout");
  }
}

// Checks one file; writes its verdict; returns the number of problems.
int CheckOne(const std::string& path, Io& io) {
  Problems problems;
  int rc = BtrCheckFile(path.c_str(), &Collect, &problems);
  uint32_t records = 0;
  if (rc >= 0) {
    BtrFile file;
    FileSpec spec;
    int status = file.Open(path, B_MODE_READ_ONLY);
    if (status == 0) status = file.Stat(&spec);
    if (status != 0) {
      problems.lines.push_back("cannot read its specification: " + StatusText(status));
    } else {
      records = spec.records;
      std::string name = fs::path(path).filename().string();
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      if (const RecordFileRow* row = FindRecordFile(name.c_str())) {
        CompareWithCatalogue(*row, spec, &problems);
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
  std::error_code ec;
  if (!fs::exists(target, ec)) return Failure(io, "check", target + " does not exist");
  if (!fs::is_directory(target, ec)) {
    return CheckOne(target, io) == 0 ? kExitOk : kExitFailure;
  }

  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::directory_iterator(target, ec)) {
    if (e.is_regular_file(ec) && IsRecordFileName(e.path())) files.push_back(e.path());
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
      if (!fs::exists(fs::path(target) / row.fileName, ec)) {
        io.out << (fs::path(target) / row.fileName).string() << ": missing\n";
        ++problems;
      }
    }
  }
  io.out << "checked " << files.size() << " files: "
         << (problems == 0   ? std::string("no problems")
             : problems == 1 ? std::string("1 problem")
                             : std::to_string(problems) + " problems") << "\n";
  return problems ? kExitFailure : kExitOk;
}

}  // namespace reclink::cli
