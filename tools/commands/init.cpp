// init: every record file of the database in one directory, all or nothing.
#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/btr_file.h"
#include "cli/held_file.h"
#include "cli/partial.h"
#include "cli/reasons.h"
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

std::string Names(const std::vector<const RecordFileRow*>& rows) {
  std::string names;
  for (const RecordFileRow* row : rows) {
    names += std::string(names.empty() ? "" : ", ") + row->fileName;
  }
  return names;
}

std::string Files(size_t n) {
  return std::to_string(n) + (n == 1 ? " record file" : " record files");
}

}  // namespace

int RunInit(const Args& args, Io& io) {
  const std::string dir = args.operands[0];
  const bool force = args.Has("--force");
  const bool onlyMissing = args.Has("--missing");
  if (force && onlyMissing) {
    io.err << "reclink init: give --force or --missing, not both\n";
    return kExitUsage;
  }
  const RecordFileRow* longest = &kRecordFiles[0];
  for (const RecordFileRow& row : kRecordFiles) {
    if (std::strlen(row.fileName) > std::strlen(longest->fileName)) longest = &row;
  }
  if (PathTooLong(io, "init", (fs::path(dir) / longest->fileName).string())) return kExitFailure;

  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    return Failure(io, "init", "cannot make directory " + dir + ": " + SystemReason(ec.value()));
  }
  // Held while this init works in it, so that two inits never create or
  // replace the same files at once.
  HeldFile lock;
  bool busy = false;
  std::string why;
  if (!lock.HoldDirectory(dir, &busy, &why)) {
    if (!busy) return Failure(io, "init", "cannot use " + dir + ": " + why);
    return Failure(io, "init", "another reclink init is working in " + dir +
                                   "; nothing was created; try again when it has finished");
  }
  RemoveStaleOutputs(io, "init", dir);

  // A directory whose files are on a server (a workstation joining a
  // shared database) first gets the placeholders of the files the server
  // has already; those are the database's, shared with every workstation,
  // so only the missing ones are created, as with --missing.
  int placed = 0;
  const bool shared = ServerBacked(dir);
  if (shared && (placed = PlaceServerFiles(dir, &why)) < 0) {
    return Failure(io, "init", "cannot set up " + dir + " for its server: " + why);
  }
  const bool missingOnly = onlyMissing || (shared && !force);
  std::vector<const RecordFileRow*> present;
  std::vector<const RecordFileRow*> absent;
  for (const RecordFileRow& row : kRecordFiles) {
    bool exists = fs::exists(fs::symlink_status(fs::path(dir) / row.fileName, ec));
    (exists ? present : absent).push_back(&row);
  }
  if (!present.empty() && !force && !missingOnly) {
    return Failure(io, "init", dir + " already holds " + Files(present.size()) + " (" +
                                   Names(present) +
                                   "); nothing was created; --missing creates only the "
                                   "missing ones, --force replaces them");
  }

  // A file that another program has open would stop the replacing half
  // way, with some files emptied already: none is touched then.
  if (force && !present.empty()) {
    for (const RecordFileRow* row : present) {
      const std::string path = (fs::path(dir) / row->fileName).string();
      BtrFile probe;
      const int status = probe.Open(path, B_MODE_EXCLUSIVE);
      if (OpenElsewhere(status)) {
        return Failure(io, "init", "cannot replace " + path + ": another program has it open (" +
                                       StatusText(status) + "); nothing was created or replaced");
      }
    }
  }

  // The missing files first: until the last is made, each can be taken back.
  std::vector<const RecordFileRow*> created;
  std::vector<const RecordFileRow*> replaced;
  auto failed = [&](const std::string& what) {
    for (const RecordFileRow* row : created) fs::remove(fs::path(dir) / row->fileName, ec);
    std::string undone;
    if (!created.empty()) undone += "; removed again what it had created: " + Names(created);
    if (!replaced.empty()) undone += "; already replaced: " + Names(replaced);
    return Failure(io, "init", what + undone);
  };
  for (const RecordFileRow* row : absent) {
    std::string path = (fs::path(dir) / row->fileName).string();
    int status = CreateRecordFile((dir + "/").c_str(), row->fileName);
    if (status != 0) return failed("cannot create " + path + ": " + WriteReason(path, status));
    created.push_back(row);
  }
  if (force && !present.empty()) {
    PartialOutput scratch;
    std::string error;
    if (!scratch.CreateDirectory((fs::path(dir) / ".init").string(), &error)) {
      return failed("cannot make a scratch directory in " + dir + ": " + error);
    }
    for (const RecordFileRow* row : present) {
      std::string path = (fs::path(dir) / row->fileName).string();
      int status = ReplaceWithEmpty(scratch.path(), path, row->fileName);
      if (status != 0) return failed("cannot replace " + path + ": " + WriteReason(path, status));
      io.out << "replaced " << row->fileName << "\n";
      replaced.push_back(row);
    }
  }
  io.out << "created " << Files(created.size() + replaced.size()) << " in " << dir;
  if (!replaced.empty()) io.out << " (" << replaced.size() << " replaced)";
  if (missingOnly) {
    io.out << "; " << present.size() << " were there already and were left as they were";
  }
  if (placed > 0) io.out << "; placed " << placed << " of them, kept on the server, here";
  io.out << "\n";
  return kExitOk;
}

}  // namespace reclink::cli
