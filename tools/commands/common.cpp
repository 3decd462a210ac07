// Helpers shared by the commands.
#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "cli/partial.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {

int Failure(Io& io, const char* command, const std::string& message) {
  io.err << "reclink " << command << ": " << message << "\n";
  return kExitFailure;
}

bool KeyOption(const Args& args, Io& io, const char* command, int fallback, int* key) {
  if (!args.Has("--key")) {
    *key = fallback;
    return true;
  }
  long n = 0;
  if (!ParseCount(args.Value("--key"), 118, &n)) {
    io.err << "reclink " << command << ": --key needs a key number from 0 to 118\n";
    return false;
  }
  *key = static_cast<int>(n);
  return true;
}

namespace {

// Whether RECMAN_SERVER sends every file of the process to a server.
bool EveryFileOnAServer() {
  const char* everything = std::getenv(RECMAN_SERVER_VARIABLE);
  return everything != nullptr && *everything != '\0';
}

}  // namespace

bool RecmanServerSet(Io& io, const char* command) {
  if (!EveryFileOnAServer()) return false;
  Failure(io, command, "RECMAN_SERVER sends every file to a server: unset it to work on a directory's own files");
  return true;
}

bool PathTooLong(Io& io, const char* command, const std::string& path) {
  if (PathFits(path)) return false;
  Failure(io, command, path + ": the path is " + std::to_string(path.size()) +
                           " bytes long; a record file's path may have at most " +
                           std::to_string(B_MAX_KEY_LENGTH) + " bytes");
  return true;
}

bool OutputIsInput(Io& io, const char* command, const std::string& output,
                   const std::string& input) {
  std::error_code ec;
  if (!std::filesystem::equivalent(output, input, ec) || ec) return false;
  Failure(io, command, output + " and " + input +
                           " are the same file; the output must be another file; nothing was "
                           "changed");
  return true;
}

bool OutputIsRecordFile(Io& io, const char* command, const std::string& output) {
  std::string database = output;
  for (const char* companion : {"-wal", "-shm", "-journal"}) {
    if (output.ends_with(companion)) database = output.substr(0, output.size() - std::strlen(companion));
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(database, ec)) return false;  // devices and pipes are not read
  std::ifstream in(database, std::ios::binary);
  char header[16] = {};
  if (!in.read(header, sizeof header) || std::memcmp(header, "SQLite format 3", sizeof header) != 0) return false;
  Failure(io, command, output + (database == output ? " is a record file" : " belongs to the record file " + database) +
                           ": it is never replaced by a sequential file; nothing was changed");
  return true;
}

bool OpenRecordFile(Io& io, const char* command, const std::string& path, int mode, BtrFile* file,
                    FileSpec* spec) {
  if (PathTooLong(io, command, path)) return false;
  int status = file->Open(path, mode);
  if (status != 0) {
    Failure(io, command, "cannot open " + path + ": " + OpenReason(path, status));
    return false;
  }
  status = file->Stat(spec);
  if (status != 0) {
    Failure(io, command, "cannot read the file specification of " + path + ": " + StatusText(status));
    return false;
  }
  return true;
}

void RemoveStaleOutputs(Io& io, const char* command, const std::string& dir) {
  for (const std::string& path : RemoveStalePartials(dir)) {
    io.err << "reclink " << command << ": removed " << path << ", left by an interrupted run\n";
  }
}

std::vector<std::string> LocalRecordFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (e.is_regular_file(ec) && ext == ".BTR") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ServerFiles(const std::string& dir, std::vector<std::string>* names, std::string* why) {
  struct Listing {
    std::vector<std::string>* names;  // filled
    std::string* why;                 // may be null
  } listing{names, why};
  auto name = [](void* ctx, const char* text) { static_cast<Listing*>(ctx)->names->push_back(text); };
  auto problem = [](void* ctx, const char* text) {
    if (std::string* why = static_cast<Listing*>(ctx)->why) *why = text;
  };
  names->clear();
  return BtrListServerFiles(dir.c_str(), name, problem, &listing) >= 0;
}

bool ServerBacked(const std::string& dir) {
  std::error_code ec;
  return EveryFileOnAServer() || std::filesystem::exists(std::filesystem::path(dir) / RECMAN_SERVER_CONFIG_NAME, ec);
}

int PlaceServerFiles(const std::string& dir, std::string* why) {
  auto problem = [](void* ctx, const char* text) { *static_cast<std::string*>(ctx) = text; };
  return BtrPlaceServerFiles(dir.c_str(), problem, why);
}

}  // namespace reclink::cli
