// BtrListServerFiles and BtrPlaceServerFiles: the record files a server
// keeps for a directory, and their local placeholders, for the utility that
// moves a database between a server and local files and sets up
// workstations.
#include "recman/api/server_files.h"

#include "recman/storage/locate.h"
#include "recman/os/os.h"
#include "recman/storage/placeholder.h"
#include "recman/format/record_check.h"
#include "reclink/btrieve.h"
#ifdef RECMAN_SERVER_BACKEND
#include "recman/storage/pg/backend.h"
#endif

namespace recman {

bool ServerOfDirectory(const char* dir, std::string* canonical, ServerChoice* server, CheckReport& report) {
  if (dir == nullptr || os::CanonicalPath(os::NativeName(dir), canonical) != os::Fail::kNone) {
    report.Problem(std::string("no such directory: ") + (dir ? dir : "(none)"));
    return false;
  }
  bool found = false;
  std::string why;
  if (ServerOf(*canonical, &found, server, &why) != B_NO_ERROR) {
    report.Problem(why);
    return false;
  }
  if (!found) {
    report.Problem(os::CallerName(*canonical) + " keeps its files here, on no server");
    return false;
  }
#ifdef RECMAN_SERVER_BACKEND
  return true;
#else
  report.Problem("this record manager was built without the server backend");
  return false;
#endif
}

namespace {

// The names of the files the server keeps for directory dir, and the
// directory's canonical path. False when there is no list (report got why).
bool ServerFilesOf(const char* dir, std::string* canonical, std::vector<std::string>* names, CheckReport& report) {
  ServerChoice server;
  if (!ServerOfDirectory(dir, canonical, &server, report)) return false;
#ifdef RECMAN_SERVER_BACKEND
  std::string why;
  if (pg::ListServerFiles(server, names, &why) != B_NO_ERROR) {
    report.Problem("cannot list the server's files: " + why);
    return false;
  }
  return true;
#else
  (void)names;
  return false;
#endif
}

}  // namespace
}  // namespace recman

extern "C" int BtrListServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx) {
  using namespace recman;
  CheckReport report(problem, ctx);
  if (name == nullptr) return -1;
  try {
    std::string canonical;
    std::vector<std::string> names;
    if (!ServerFilesOf(dir, &canonical, &names, report)) return -1;
    for (const std::string& n : names) name(ctx, n.c_str());
    return static_cast<int>(names.size());
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}

extern "C" int BtrPlaceServerFiles(const char* dir, BtrCheckSink problem, void* ctx) {
  using namespace recman;
  CheckReport report(problem, ctx);
  try {
    std::string canonical;
    std::vector<std::string> names;
    if (!ServerFilesOf(dir, &canonical, &names, report)) return -1;
    int made = 0;
    for (const std::string& n : names) {
      const std::string path = os::Join(canonical, n);
      if (os::Exists(path)) continue;
      if (const int status = MakePlaceholder(path); status != B_NO_ERROR) {
        report.Problem("cannot write the placeholder " + os::CallerName(path) + ": " + BtrStatusText(status));
        return -1;
      }
      ++made;
    }
    return made;
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}

extern "C" int BtrDropServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx) {
  using namespace recman;
  CheckReport report(problem, ctx);
  try {
    std::string canonical;
    ServerChoice server;
    if (!ServerOfDirectory(dir, &canonical, &server, report)) return -1;
#ifdef RECMAN_SERVER_BACKEND
    std::vector<std::string> names;
    std::string why;
    if (const int status = pg::DropServerFiles(server, &names, &why); status != B_NO_ERROR) {
      report.Problem("nothing was removed: " + std::string(BtrStatusText(status)) + (why.empty() ? "" : ": " + why));
      return -1;
    }
    for (const std::string& n : names) {
      if (name != nullptr) name(ctx, n.c_str());
    }
    return static_cast<int>(names.size());
#else
    (void)name;  // ServerOfDirectory has said that no server can be reached
    return -1;
#endif
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}

extern "C" int BtrIsPlaceholder(const char* path) {
  using namespace recman;
  if (path == nullptr) return 0;
  try {
    std::string canonical;
    if (os::CanonicalPath(os::NativeName(path), &canonical) != os::Fail::kNone) return 0;
    return IsPlaceholder(canonical) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
