// BtrListServerFiles: the record files a server keeps for a directory, for
// the utility that moves a database between a server and local files.
#include "recman/server_files.h"

#include "recman/locate.h"
#include "recman/os.h"
#include "recman/record_check.h"
#include "reclink/btrieve.h"
#ifdef RECMAN_SERVER_BACKEND
#include "recman/pg/backend.h"
#endif

namespace recman {

bool ServerOfDirectory(const char* dir, CheckReport& report, ServerChoice* server) {
  std::string canonical;
  if (dir == nullptr || os::CanonicalPath(os::NativeName(dir), &canonical) != os::Fail::kNone) {
    report.Problem(std::string("no such directory: ") + (dir ? dir : "(none)"));
    return false;
  }
  bool found = false;
  std::string why;
  if (ServerOf(canonical, &found, server, &why) != B_NO_ERROR) {
    report.Problem(why);
    return false;
  }
  if (!found) {
    report.Problem(canonical + " keeps its files here, on no server");
    return false;
  }
  return true;
}

}  // namespace recman

extern "C" int BtrListServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx) {
  using namespace recman;
  CheckReport report(problem, ctx);
  if (name == nullptr) return -1;
  try {
    ServerChoice server;
    if (!ServerOfDirectory(dir, report, &server)) return -1;
#ifdef RECMAN_SERVER_BACKEND
    std::vector<std::string> names;
    std::string why;
    if (pg::ListServerFiles(server.conninfo, server.database, &names, &why) != B_NO_ERROR) {
      report.Problem("cannot list the server's files: " + why);
      return -1;
    }
    for (const std::string& n : names) name(ctx, n.c_str());
    return static_cast<int>(names.size());
#else
    report.Problem("this record manager was built without the server backend");
    return -1;
#endif
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}
