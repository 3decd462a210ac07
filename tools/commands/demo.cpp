// demo: a fresh database, a day of the clinic played on it, and a summary.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/box_printer.h"
#include "cli/btr_file.h"
#include "cli/reasons.h"
#include "commands/commands.h"
#include "commands/demo_day.h"
#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/records/catalogue.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

// The directory to play in: dir when it is missing or empty (created), else
// nothing; a new temporary directory when dir is empty.
bool PrepareDirectory(std::string* dir, Io& io) {
  std::error_code ec;
  if (dir->empty()) {
    // $TMPDIR or /tmp (%TMP% on Windows), under a name no other run has.
    const fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; !ec && attempt < 100; ++attempt) {
      const fs::path candidate = base / ("reclink-demo-" + std::to_string(std::random_device()()));
      if (fs::create_directory(candidate, ec)) {
        *dir = candidate.string();
        return true;
      }
    }
    Failure(io, "demo", "cannot make a temporary directory in " + base.string() + ": " +
                            (ec ? SystemReason(ec.value()) : "every name tried was taken"));
    return false;
  }
  if (fs::exists(*dir, ec)) {
    if (!fs::is_directory(*dir, ec) || !fs::is_empty(*dir, ec)) {
      Failure(io, "demo", *dir + " is not an empty directory; the demonstration needs a fresh one");
      return false;
    }
    return true;
  }
  if (!fs::create_directories(*dir, ec)) {
    Failure(io, "demo", "cannot make directory " + *dir + ": " + SystemReason(ec.value()));
    return false;
  }
  return true;
}

void Summary(const std::string& dir, int boxes, Io& io) {
  io.out << "\n== Summary ==\n";
  uint64_t total = 0;
  for (const RecordFileRow& row : kRecordFiles) {
    BtrFile file;
    FileSpec spec;
    if (file.Open(dir + "/" + row.fileName, B_MODE_READ_ONLY) != 0 || file.Stat(&spec) != 0) {
      io.out << "  " << row.fileName << ": cannot be read\n";
      continue;
    }
    total += spec.records;
    if (spec.records == 0) continue;
    std::string name = row.fileName;
    name.resize(22, ' ');
    io.out << "  " << name << spec.records << (spec.records == 1 ? " record\n" : " records\n");
  }
  io.out << "  " << total << " records in " << kRecordFileCount << " record files; " << boxes
         << (boxes == 1 ? " message box" : " message boxes") << " shown\n"
         << "  the database stays in " << dir << " (try: reclink patients " << dir
         << ", reclink dump " << dir << "/PHOTO.BTR, reclink check " << dir << ")\n";
}

}  // namespace

int RunDemo(const Args& args, Io& io) {
  std::string dir = args.operands.empty() ? "" : args.operands[0];
  if (!PrepareDirectory(&dir, io)) return kExitFailure;
  dir = fs::absolute(dir).lexically_normal().string();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  io.out << "A day at the clinic, on a fresh database in " << dir << "\n";
  int status = CreateDatabase(dir.c_str());
  if (status != 0) {
    return Failure(io, "demo",
                   "cannot create the database in " + dir + ": " + WriteReason(dir, status));
  }
  io.out << "  created " << kRecordFileCount << " empty record files\n";

  // The numbered interface finds its directory in the application's profile.
  const std::string profile = dir + "/reclink.ini";
  {
    errno = 0;
    std::ofstream ini(profile);
    ini << "[DB_DIR]\nDATABASE=" << dir << "/\n";
    ini.close();
    if (!ini) {
      return Failure(io, "demo",
                     "cannot write " + profile + ": " + SystemReason(errno ? errno : EIO));
    }
  }

  int failures = 0;
  int boxes = 0;
  {
    BoxPrinter printer(io.out);
    failures = PlayClinicDay(dir, profile, io.out);
    boxes = printer.count();
  }
  Summary(dir, boxes, io);
  if (boxes != 1) {
    io.out << "  !! unexpected: " << boxes << " message boxes where the day has one\n";
    ++failures;
  }
  if (failures != 0) {
    return Failure(io, "demo", std::to_string(failures) + " steps did not go as expected");
  }
  io.out << "The day went as expected.\n";
  return kExitOk;
}

}  // namespace reclink::cli
