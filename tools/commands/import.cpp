// import: a fresh database made from a folder of saved files. The database is
// built inside a held partial directory beside DIR, by the init, create, load
// and check commands themselves, and renamed to DIR only when every file was
// loaded and the whole passed its check. A failed or interrupted import
// leaves no DIR; the partial of a killed run is stale and goes with the next
// run in the same parent directory.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/partial.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/records/catalogue.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

constexpr const char* kDescriptionExtension = ".DES";

// One record file of the new database and where its records come from.
struct Source {
  std::string saved;        // the saved file; empty when the file starts empty
  std::string description;  // its description, for a file the catalogue does not know
  uint64_t records = 0;     // records it holds once loaded
};

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

// Runs another command of the utility on the database being built. Its
// messages (and, when it fails, its results) are passed on as import's own,
// with the partial directory's path replaced by the DIR it becomes.
class Step {
 public:
  Step(Io& io, std::string built, std::string dir) : io_(io), built_(std::move(built)), dir_(std::move(dir)) {}

  bool Run(const std::vector<std::string>& argv) {
    std::ostringstream out, err;
    Io inner{out, err, false};
    const int status = RunCommandLine(argv, inner);
    std::string messages = err.str() + (status == kExitOk ? "" : out.str());
    ReplaceAll(&messages, "reclink " + argv[0] + ": ", "reclink import: ");
    ReplaceAll(&messages, built_, dir_);
    io_.err << messages;
    return status == kExitOk;
  }

 private:
  Io& io_;
  std::string built_;  // the database directory while it is built
  std::string dir_;    // what it becomes
};

// Reads folder into *sources (by record file name), refusing what cannot be
// placed. False after messages on io.err.
bool Plan(Io& io, const std::string& folder, std::map<std::string, Source>* sources) {
  std::error_code ec;
  std::map<std::string, std::vector<std::string>> saved;  // record file -> saved files
  std::map<std::string, std::string> descriptions;        // record file -> description
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    std::error_code kind;
    if (it->is_directory(kind)) {
      Failure(io, "import", path.string() + " is a directory; the folder may hold only saved files and descriptions");
      return false;
    }
    const std::string recordFile = Upper(path.stem().string()) + ".BTR";
    if (Upper(path.extension().string()) == kDescriptionExtension) {
      descriptions[recordFile] = path.string();
    } else {
      saved[recordFile].push_back(path.string());
    }
  }
  if (ec) {
    Failure(io, "import", "cannot read the folder " + folder + ": " + SystemReason(ec.value()));
    return false;
  }
  if (saved.empty() && descriptions.empty()) {
    Failure(io, "import", folder + " holds no saved files; nothing was imported");
    return false;
  }

  bool refused = false;
  for (auto& [recordFile, paths] : saved) {
    std::sort(paths.begin(), paths.end());
    const bool known = FindRecordFile(recordFile.c_str()) != nullptr;
    if (paths.size() > 1) {
      Failure(io, "import", "both " + paths[0] + " and " + paths[1] + " would be loaded into " + recordFile +
                                "; keep one of them");
      refused = true;
    } else if (!known && !descriptions.count(recordFile)) {
      const std::string stem = fs::path(paths[0]).stem().string();
      Failure(io, "import", paths[0] + ": the database has no record file " + recordFile +
                                ", and no description " + stem + ".des beside it says how to create one");
      refused = true;
    } else {
      (*sources)[recordFile].saved = paths[0];
    }
  }
  for (const auto& [recordFile, path] : descriptions) {
    if (FindRecordFile(recordFile.c_str()) != nullptr) {
      Failure(io, "import", path + " describes " + recordFile + ", which the database itself defines; " +
                                "remove the description");
      refused = true;
    } else {
      (*sources)[recordFile].description = path;
    }
  }
  if (refused) Failure(io, "import", "nothing was imported");
  return !refused;
}

// The number of records of the record file at path, or nothing readable.
bool CountRecords(const std::string& path, uint64_t* records) {
  BtrFile file;
  FileSpec spec;
  if (file.Open(path, B_MODE_READ_ONLY) != 0 || file.Stat(&spec) != 0) return false;
  *records = spec.records;
  return true;
}

void Report(Io& io, const std::string& dir, const std::map<std::string, Source>& sources) {
  size_t width = std::string("record file").size();
  for (const RecordFileRow& row : kRecordFiles) width = std::max(width, std::string(row.fileName).size());
  for (const auto& [name, source] : sources) width = std::max(width, name.size());
  io.out << std::left << std::setw(static_cast<int>(width)) << "record file" << "  " << std::right << std::setw(10)
         << "records" << "  from\n";
  uint64_t total = 0;
  size_t files = 0;
  auto line = [&](const std::string& name, const Source* source) {
    const uint64_t records = source ? source->records : 0;
    io.out << std::left << std::setw(static_cast<int>(width)) << name << "  " << std::right << std::setw(10)
           << records << "  "
           << (source && !source->saved.empty() ? fs::path(source->saved).filename().string() : "(empty)") << "\n";
    total += records;
    ++files;
  };
  for (const RecordFileRow& row : kRecordFiles) {
    const auto it = sources.find(row.fileName);
    line(row.fileName, it == sources.end() ? nullptr : &it->second);
  }
  for (const auto& [name, source] : sources) {
    if (FindRecordFile(name.c_str()) == nullptr) line(name, &source);
  }
  io.out << "imported " << total << " records into " << files << " record files in " << dir << "\n";
}

}  // namespace

int RunImport(const Args& args, Io& io) {
  const std::string& folder = args.operands[0];
  fs::path target = fs::path(args.operands[1]).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();
  const std::string dir = target.string();
  if (RecmanServerSet(io, "import")) return kExitFailure;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return Failure(io, "import", folder + " is not a folder of saved files");
  if (fs::exists(fs::symlink_status(target, ec)) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
    return Failure(io, "import", dir + " exists and is not an empty directory; import makes a new database and "
                                        "replaces nothing: name a new directory, or move " + dir + " away first");
  }
  std::map<std::string, Source> sources;
  if (!Plan(io, folder, &sources)) return kExitFailure;

  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  fs::create_directories(parent, ec);
  if (ec) return Failure(io, "import", "cannot make directory " + parent.string() + ": " + SystemReason(ec.value()));
  RemoveStaleOutputs(io, "import", parent.string());
  PartialOutput partial;
  std::string error;
  if (!partial.CreateDirectory(dir, &error)) {
    return Failure(io, "import", "cannot make a directory beside " + dir + ": " + error);
  }
  const std::string built = (fs::path(partial.path()) / "db").string();
  const std::string nothing = "nothing was imported; " + dir + " was not made";
  Step step(io, built, dir);
  auto at = [&](const std::string& name) { return (fs::path(built) / name).string(); };

  if (!step.Run({"init", "--", built})) return Failure(io, "import", nothing);
  for (const auto& [name, source] : sources) {
    if (!source.description.empty() && !step.Run({"create", "--", at(name), source.description})) {
      return Failure(io, "import", nothing);
    }
  }
  size_t done = 0;
  const size_t loads = std::count_if(sources.begin(), sources.end(), [](const auto& s) { return !s.second.saved.empty(); });
  for (auto& [name, source] : sources) {
    if (source.saved.empty()) continue;
    io.err << "reclink import: " << ++done << " of " << loads << ": loading " << source.saved << " into " << name
           << "\n";
    if (!step.Run({"load", "--", source.saved, at(name)})) return Failure(io, "import", nothing);
    if (!CountRecords(at(name), &source.records)) {
      return Failure(io, "import", "cannot read back " + (target / name).string() + "; " + nothing);
    }
  }
  io.err << "reclink import: checking the new database\n";
  if (!step.Run({"check", "--", built})) {
    return Failure(io, "import", "the new database does not pass its check; " + nothing);
  }

  // An empty DIR gives way to the database; anything else in it by now is
  // someone else's, and stops the rename.
  const bool gaveWay = fs::is_directory(target, ec) && fs::remove(target, ec);
  fs::rename(built, target, ec);
  if (ec) {
    std::error_code again;
    if (gaveWay) fs::create_directory(target, again);
    return Failure(io, "import", "cannot rename the new database to " + dir + ": " + SystemReason(ec.value()) +
                                     "; " + nothing);
  }
  Report(io, dir, sources);
  return kExitOk;
}

}  // namespace reclink::cli
