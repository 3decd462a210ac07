// to-server and from-server: a database directory's record files copied
// onto the server that its recman-server.conf will name, and back into local
// files. Each file moves whole or not at all: created empty, filled in one
// transaction, then compared record by record with its source. Every source
// is held exclusively from before the first copy until the move is over, so
// that no workstation writes one meanwhile. The directory changes sides only
// when every file has moved.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/conninfo.h"
#include "cli/partial.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kConfigName = RECMAN_SERVER_CONFIG_NAME;
// Where to-server leaves a directory's old local record files.
constexpr const char* kBeforeServer = "before-server";
// What from-server renames the configuration to when the directory is
// local again: it names the server's copy, which nothing uses any more.
constexpr const char* kMovedBack = RECMAN_SERVER_CONFIG_NAME ".moved-back";

// A directory of the command's own whose configuration names the server:
// the server's files appear in it under their own names. Only its owner may
// read it (the configuration may hold a password). Removed at the end.
class ServerView {
 public:
  explicit ServerView(const std::string& config) {
    std::error_code ec;
    path_ = fs::temp_directory_path(ec) / ("reclink-server-" + std::to_string(std::random_device{}()));
    ok_ = fs::create_directory(path_, ec);
    if (ok_) fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, ec);
    ok_ = ok_ && !ec && (std::ofstream(path_ / kConfigName) << config);
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

// A record file: where the record manager finds it, and how messages name it.
struct Place {
  std::string path;   // the name Open takes
  std::string shown;  // "PATIENT1.BTR on the server", or the path
};

// Copies the record file from, open as source, into a new file to with its
// specification: every record in physical order, in one transaction, then
// read back and compared. Returns "" or what went wrong.
std::string CopyFile(const Place& from, BtrFile& source, const Place& to, Io& io) {
  int status;
  FileSpec spec;
  if ((status = source.Stat(&spec)) != 0) {
    return "cannot read the file specification of " + from.shown + ": " + StatusText(status);
  }
  if ((status = CreateFile(to.path, spec, true)) != 0) return "cannot create " + to.shown + ": " + StatusText(status);
  BtrFile target;
  if ((status = target.Open(to.path, B_MODE_EXCLUSIVE)) != 0) {
    return "cannot open " + to.shown + ": " + StatusText(status);
  }

  Progress progress(io.err, io.terminal, "copying " + from.shown, spec.records);
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
    return "copying record " + std::to_string(copied + 1) + " of " + from.shown + ": " + StatusText(status) +
           "; nothing of it was kept";
  }
  if ((status = EndTransaction()) != 0) {
    return "storing " + to.shown + ": " + StatusText(status) + "; nothing of it was kept";
  }

  // The check: the same records in the same order, and a sound file.
  std::string copy;
  int a = source.First(-1, &record), b = target.First(-1, &copy);
  for (; a == 0 && b == 0 && record == copy; a = source.Next(-1, &record), b = target.Next(-1, &copy)) {
  }
  if (a != B_END_OF_FILE || b != B_END_OF_FILE) return "the copy " + to.shown + " differs from " + from.shown;
  target.Close();
  std::vector<std::string> problems;
  auto sink = [](void* ctx, const char* problem) { static_cast<std::vector<std::string>*>(ctx)->push_back(problem); };
  if (BtrCheckFile(to.path.c_str(), sink, &problems) != 0) {
    return "the copy " + to.shown + " does not pass the check: " +
           (problems.empty() ? std::string("it cannot be read") : problems.front());
  }
  return {};
}

// The source files of a move, each held open exclusively until the move is
// over: a write to a file already copied would otherwise stay behind.
using HeldSources = std::vector<std::unique_ptr<BtrFile>>;

// Copies every file of names from `from(name)` to `to(name)` (Places),
// holding every source in *held first (none is copied when one cannot be
// held: another program has it open). Returns the number that failed (each
// reported).
template <typename From, typename To>
int CopyAll(const char* command, const std::vector<std::string>& names, From from, To to, Io& io,
            HeldSources* held) {
  for (const std::string& name : names) {
    const Place source = from(name);
    held->push_back(std::make_unique<BtrFile>());
    const int status = held->back()->Open(source.path, B_MODE_EXCLUSIVE);
    if (status != 0) {
      Failure(io, command, "cannot hold " + source.shown + " for the move: " + OpenReason(source.path, status) +
                               (OpenElsewhere(status) ? " (another program has it open)" : ""));
      return static_cast<int>(names.size());
    }
  }
  int failed = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string why = CopyFile(from(names[i]), *(*held)[i], to(names[i]), io);
    if (why.empty()) continue;
    Failure(io, command, why);
    ++failed;
  }
  return failed;
}

std::string ReadText(const fs::path& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  *ok = static_cast<bool>(in);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes text to path in one step: a reader sees the old file or the new
// one, never half of one.
bool WriteWhole(const fs::path& path, const std::string& text, std::string* why) {
  PartialOutput partial;
  return partial.CreateFile(path.string(), why) && partial.Write(text, why) && partial.Commit(why);
}

// Moves the local record file from onto to, with SQLite's companions (its
// log and the log's index), whose pages may not be in the file yet; those
// of an old file at to go first, as they would be read into the new one.
// Nobody may have either file open. Returns "" or what failed.
std::string MoveRecordFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  for (const char* companion : {"-wal", "-shm"}) {
    const fs::path old = to.string() + companion;
    if (fs::remove(old, ec); ec) return "cannot remove " + old.string() + ": " + ec.message();
  }
  for (const char* companion : {"-wal", "-shm"}) {
    const fs::path source = from.string() + companion;
    if (!fs::exists(source, ec)) continue;
    if (fs::rename(source, to.string() + companion, ec); ec) {
      return "cannot move " + source.string() + ": " + ec.message();
    }
  }
  if (fs::rename(from, to, ec); ec) return "cannot move " + from.string() + " to " + to.string() + ": " + ec.message();
  return {};
}

// The last step of a move onto the server, once the directory names it:
// each local record file goes into DIR/before-server (kept for the
// administrator, read by nobody), and every file the server keeps gets its
// placeholder. Safe to run again after an interruption. Returns false after
// a message.
bool LeaveLocalFiles(const std::string& dir, Io& io) {
  const fs::path aside = fs::path(dir) / kBeforeServer;
  std::error_code ec;
  for (const std::string& name : LocalRecordFiles(dir)) {
    const fs::path path = fs::path(dir) / name;
    if (BtrIsPlaceholder(path.string().c_str())) continue;
    fs::create_directory(aside, ec);
    const std::string why = ec ? "cannot make " + aside.string() + ": " + ec.message() : MoveRecordFile(path, aside / name);
    if (!why.empty()) {
      Failure(io, "to-server", why + "; " + dir + " uses the server already; run the same to-server again to finish");
      return false;
    }
  }
  std::string why;
  if (PlaceServerFiles(dir, &why) < 0) {
    Failure(io, "to-server", "cannot place the server's files in " + dir + ": " + why +
                                 "; run the same to-server again to finish");
    return false;
  }
  return true;
}

}  // namespace

int RunToServer(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  if (RecmanServerSet(io, "to-server")) return kExitFailure;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Failure(io, "to-server", dir + " is not a directory");
  const fs::path configPath = fs::path(dir) / kConfigName;
  // Every user of the share can read the configuration file.
  if (ConninfoHasPassword(args.operands[1])) {
    if (!args.Has("--allow-password")) {
      return Failure(io, "to-server",
                     "the connection string holds a password, which would be written into " + configPath.string() +
                         ", where everyone who can read the directory reads it; put the password into each "
                         "workstation's password file instead (docs/server.md: pgpass), or give --allow-password");
    }
    io.err << "reclink to-server: warning: the password goes into " << configPath.string()
           << ", readable by everyone who can read the directory\n";
  }
  const std::string config = "# The record files of this directory are on this server.\n" RECMAN_SETTING_SERVER
                             " = " + args.operands[1] + "\n" RECMAN_SETTING_DATABASE " = " + args.operands[2] + "\n";
  if (fs::exists(configPath, ec)) {
    // The same move, interrupted after the directory changed sides: only
    // its last step is left.
    bool read = false;
    if (ReadText(configPath, &read) != config || !read) {
      return Failure(io, "to-server", dir + " already keeps its files on a server (" + kConfigName + ")");
    }
    if (!LeaveLocalFiles(dir, io)) return kExitFailure;
    io.out << dir << " keeps its files on the server (database " << args.operands[2]
           << "); the move is finished\n";
    return kExitOk;
  }
  ServerView server(config);
  if (!server.ok()) return Failure(io, "to-server", "cannot make a temporary directory");
  // Another directory's files under the same name would be overwritten.
  std::vector<std::string> existing;
  std::string why;
  if (!ServerFiles(server.path(), &existing, &why)) return Failure(io, "to-server", why);
  if (!existing.empty() && !args.Has("--force")) {
    return Failure(io, "to-server", "the server already holds " + std::to_string(existing.size()) +
                                        " files of database " + args.operands[2] +
                                        "; --force replaces those that DIR holds too");
  }
  const std::vector<std::string> names = LocalRecordFiles(dir);
  {
    HeldSources held;
    const int failed = CopyAll(
        "to-server", names,
        [&](const std::string& n) { return Place{(fs::path(dir) / n).string(), (fs::path(dir) / n).string()}; },
        [&](const std::string& n) { return Place{server.file(n), n + " on the server"}; }, io, &held);
    if (failed > 0) {
      return Failure(io, "to-server", std::to_string(failed) + " of " + std::to_string(names.size()) +
                                          " files did not move; " + dir + " still keeps its files here");
    }
    // From now on every workstation whose profile names dir uses the server.
    if (!WriteWhole(configPath, config, &why)) {
      return Failure(io, "to-server", "cannot write " + configPath.string() + ": " + why + "; " + dir +
                                          " still keeps its files here");
    }
  }
  if (!LeaveLocalFiles(dir, io)) return kExitFailure;
  io.out << names.size() << " files copied to the server; " << dir << " now keeps its files there (database "
         << args.operands[2] << "); the old local files are in " << (fs::path(dir) / kBeforeServer).string()
         << ", which nothing reads: delete it once the server's copy has been in use for a while\n";
  return kExitOk;
}

int RunFromServer(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  if (RecmanServerSet(io, "from-server")) return kExitFailure;
  const fs::path configPath = fs::path(dir) / kConfigName;
  bool read = false;
  const std::string config = ReadText(configPath, &read);
  if (!read) return Failure(io, "from-server", dir + " keeps no files on a server (no " + kConfigName + ")");
  std::vector<std::string> names;
  std::string why;
  if (!ServerFiles(dir, &names, &why)) return Failure(io, "from-server", why);
  ServerView server(config);
  if (!server.ok()) return Failure(io, "from-server", "cannot make a temporary directory");
  RemoveStaleOutputs(io, "from-server", dir);
  // The copies are made in a directory of their own, which names no
  // server: until every one is complete, DIR stays on the server, whose
  // files this command holds so that nobody writes them meanwhile.
  PartialOutput staging;
  if (!staging.CreateDirectory((fs::path(dir) / ".from-server").string(), &why)) {
    return Failure(io, "from-server", "cannot make a directory for the copies in " + dir + ": " + why);
  }
  HeldSources held;
  const int failed = CopyAll(
      "from-server", names, [&](const std::string& n) { return Place{server.file(n), n + " on the server"}; },
      [&](const std::string& n) {
        const std::string path = (fs::path(staging.path()) / n).string();
        return Place{path, path};
      },
      io, &held);
  const std::string stays = "; " + dir + " still keeps its files on the server";
  if (failed > 0) {
    return Failure(io, "from-server",
                   std::to_string(failed) + " of " + std::to_string(names.size()) + " files did not move" + stays);
  }
  // Each complete copy takes its file's place (the placeholder goes); the
  // directory still names the server, so nobody reads them yet.
  std::error_code ec;
  for (const std::string& name : names) {
    const std::string moved = MoveRecordFile(fs::path(staging.path()) / name, fs::path(dir) / name);
    if (!moved.empty()) return Failure(io, "from-server", moved + stays);
  }
  // The switch, in one step: the configuration is kept beside, named so
  // that nothing reads it, for removing the server's copy later.
  const fs::path kept = fs::path(dir) / kMovedBack;
  fs::rename(configPath, kept, ec);
  if (ec) {
    return Failure(io, "from-server", "cannot move " + configPath.string() + " aside: " + ec.message() + stays);
  }
  io.out << names.size() << " files copied from the server; " << dir << " keeps its files here again. "
         << "The server still holds its copy (" << kept.string() << " names it); nothing uses it: "
         << "reclink drop-server " << dir << " removes it\n";
  return kExitOk;
}

int RunDropServer(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  if (RecmanServerSet(io, "drop-server")) return kExitFailure;
  std::error_code ec;
  if (fs::exists(fs::path(dir) / kConfigName, ec)) {
    return Failure(io, "drop-server", dir + " keeps its files on the server (" + kConfigName +
                                          "): they are the database's only copy; from-server brings them back first");
  }
  const fs::path kept = fs::path(dir) / kMovedBack;
  bool read = false;
  const std::string config = ReadText(kept, &read);
  if (!read) return Failure(io, "drop-server", "no " + kept.string() + ": " + dir + " names no server copy");
  ServerView server(config);
  if (!server.ok()) return Failure(io, "drop-server", "cannot make a temporary directory");
  std::string why;
  auto problem = [](void* ctx, const char* text) { *static_cast<std::string*>(ctx) = text; };
  const int dropped = BtrDropServerFiles(server.path().c_str(), nullptr, problem, &why);
  if (dropped < 0) return Failure(io, "drop-server", "cannot remove the server's copy: " + why);
  fs::remove(kept, ec);
  io.out << dropped << " files of the server's copy removed; " << dir << " names no server any more\n";
  return kExitOk;
}

}  // namespace reclink::cli
