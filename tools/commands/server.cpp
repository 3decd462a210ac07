// to-server and from-server: a database directory's record files copied
// onto the server that its recman-server.conf will name, and back into local
// files. Each file moves whole or not at all: created empty, filled in one
// transaction, then compared record by record with its source. The
// directory changes sides only when every file has moved.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kConfigName = "recman-server.conf";

// A directory of the command's own whose configuration names the server:
// the server's files appear in it under their own names. Removed at the end.
class ServerView {
 public:
  explicit ServerView(const std::string& config) {
    std::error_code ec;
    path_ = fs::temp_directory_path(ec) / ("reclink-server-" + std::to_string(std::random_device{}()));
    ok_ = fs::create_directory(path_, ec) && (std::ofstream(path_ / kConfigName) << config);
  }
  ~ServerView() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  bool ok() const { return ok_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;    // the view
  bool ok_ = false;  // made, with its configuration
};

// Why the server of directory dir cannot list its files.
std::string ServerProblem(const std::string& dir) {
  std::string why = "no answer";
  BtrListServerFiles(dir.c_str(), [](void*, const char*) {}, [](void* ctx, const char* text) {
    *static_cast<std::string*>(ctx) = text;
  }, &why);
  return why;
}

// Copies the record file from into a new file to with its specification:
// every record in physical order, in one transaction, then read back and
// compared. Returns "" or what went wrong.
std::string CopyFile(const std::string& from, const std::string& to, Io& io) {
  BtrFile source;
  int status = source.Open(from, B_MODE_READ_ONLY);
  if (status != 0) return "cannot open " + from + ": " + StatusText(status);
  FileSpec spec;
  if ((status = source.Stat(&spec)) != 0) return "cannot read the specification of " + from + ": " + StatusText(status);
  if ((status = CreateFile(to, spec, true)) != 0) return "cannot create " + to + ": " + StatusText(status);
  BtrFile target;
  if ((status = target.Open(to, B_MODE_EXCLUSIVE)) != 0) return "cannot open " + to + ": " + StatusText(status);

  Progress progress(io.err, io.terminal, "copying " + fs::path(from).filename().string(), spec.records);
  if ((status = BeginTransaction()) != 0) return "cannot begin a transaction: " + StatusText(status);
  uint64_t copied = 0;
  std::string record;
  for (status = source.First(-1, &record); status == 0; status = source.Next(-1, &record)) {
    if ((status = target.Insert(record)) != 0) break;
    progress.Update(++copied);
  }
  progress.Finish();
  if (status != B_END_OF_FILE) {
    AbortTransaction();
    return "copying record " + std::to_string(copied + 1) + " of " + from + ": " + StatusText(status) +
           "; nothing of it was kept";
  }
  if ((status = EndTransaction()) != 0) return "storing " + to + ": " + StatusText(status) + "; nothing of it was kept";

  // The check: the same records in the same order, and a sound file.
  std::string copy;
  int a = source.First(-1, &record), b = target.First(-1, &copy);
  for (; a == 0 && b == 0 && record == copy; a = source.Next(-1, &record), b = target.Next(-1, &copy)) {
  }
  if (a != B_END_OF_FILE || b != B_END_OF_FILE) return "the copy " + to + " differs from " + from;
  target.Close();
  std::vector<std::string> problems;
  auto sink = [](void* ctx, const char* problem) { static_cast<std::vector<std::string>*>(ctx)->push_back(problem); };
  if (BtrCheckFile(to.c_str(), sink, &problems) != 0) {
    return "the copy " + to + " does not check: " + (problems.empty() ? std::string("?") : problems.front());
  }
  return {};
}

// The record files of dir: files named *.BTR (any case).
std::vector<std::string> LocalRecordFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (e.is_regular_file(ec) && ext == ".BTR") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Copies every file of names from `from(name)` to `to(name)`. Returns the
// number that failed (each reported).
template <typename From, typename To>
int CopyAll(const char* command, const std::vector<std::string>& names, From from, To to, Io& io) {
  int failed = 0;
  for (const std::string& name : names) {
    const std::string why = CopyFile(from(name), to(name), io);
    if (why.empty()) continue;
    Failure(io, command, why);
    ++failed;
  }
  return failed;
}

bool RecmanServerSet(Io& io, const char* command) {
  const char* everything = std::getenv("RECMAN_SERVER");
  if (everything == nullptr || *everything == '\0') return false;
  Failure(io, command, "RECMAN_SERVER sends every file to a server: unset it to move a directory");
  return true;
}

}  // namespace

int RunToServer(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  if (RecmanServerSet(io, "to-server")) return kExitFailure;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Failure(io, "to-server", dir + " is not a directory");
  if (fs::exists(fs::path(dir) / kConfigName, ec)) {
    return Failure(io, "to-server", dir + " already keeps its files on a server (" + kConfigName + ")");
  }
  const std::string config = "# The record files of this directory are on this server.\nserver = " +
                             args.operands[1] + "\ndatabase = " + args.operands[2] + "\n";
  ServerView server(config);
  if (!server.ok()) return Failure(io, "to-server", "cannot make a temporary directory");
  // Another directory's files under the same name would be overwritten.
  const int existing = BtrListServerFiles(server.path().c_str(), [](void*, const char*) {}, nullptr, nullptr);
  if (existing < 0) return Failure(io, "to-server", "cannot reach the server: " + ServerProblem(server.path()));
  if (existing > 0 && !args.Has("--force")) {
    return Failure(io, "to-server", "the server already holds " + std::to_string(existing) + " files of database " +
                                        args.operands[2] + "; --force replaces those that DIR holds too");
  }
  const std::vector<std::string> names = LocalRecordFiles(dir);
  const int failed = CopyAll(
      "to-server", names, [&](const std::string& n) { return (fs::path(dir) / n).string(); },
      [&](const std::string& n) { return server.file(n); }, io);
  if (failed > 0) {
    return Failure(io, "to-server", std::to_string(failed) + " of " + std::to_string(names.size()) +
                                        " files did not move; " + dir + " still keeps its files here");
  }
  // From now on every workstation whose profile names dir uses the server.
  if (!(std::ofstream(fs::path(dir) / kConfigName) << config)) {
    return Failure(io, "to-server", "cannot write " + (fs::path(dir) / kConfigName).string());
  }
  io.out << names.size() << " files copied to the server; " << dir << " now keeps its files there (database "
         << args.operands[2] << ")\n";
  return kExitOk;
}

int RunFromServer(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  if (RecmanServerSet(io, "from-server")) return kExitFailure;
  const fs::path configPath = fs::path(dir) / kConfigName;
  std::ifstream in(configPath, std::ios::binary);
  const std::string config((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in) return Failure(io, "from-server", dir + " keeps no files on a server (no " + kConfigName + ")");
  struct Listing {
    std::vector<std::string> names;  // the server's files of dir
    std::string problem;             // why there is no list
  } listing;
  auto name = [](void* ctx, const char* text) { static_cast<Listing*>(ctx)->names.push_back(text); };
  auto problem = [](void* ctx, const char* text) { static_cast<Listing*>(ctx)->problem = text; };
  if (BtrListServerFiles(dir.c_str(), name, problem, &listing) < 0) return Failure(io, "from-server", listing.problem);
  const std::vector<std::string>& names = listing.names;
  ServerView server(config);
  if (!server.ok()) return Failure(io, "from-server", "cannot make a temporary directory");
  // The directory's own files are local while they are written; the
  // configuration comes back if anything fails.
  const fs::path aside = fs::path(dir) / (std::string(kConfigName) + ".moving");
  std::error_code ec;
  fs::rename(configPath, aside, ec);
  if (ec) return Failure(io, "from-server", "cannot move " + configPath.string() + " aside: " + ec.message());
  const int failed = CopyAll(
      "from-server", names, [&](const std::string& n) { return server.file(n); },
      [&](const std::string& n) { return (fs::path(dir) / n).string(); }, io);
  if (failed > 0) {
    fs::rename(aside, configPath, ec);
    return Failure(io, "from-server", std::to_string(failed) + " of " + std::to_string(names.size()) +
                                          " files did not move; " + dir + " still keeps its files on the server");
  }
  fs::remove(aside, ec);
  io.out << names.size() << " files copied from the server; " << dir << " keeps its files here again\n";
  return kExitOk;
}

}  // namespace reclink::cli
