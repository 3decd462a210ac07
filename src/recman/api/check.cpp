// BtrCheckFile: the check of a record file, by the backend that keeps it.
#include "recman/storage/locate.h"
#include "recman/api/path.h"
#include "recman/api/reason.h"
#include "recman/format/record_check.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

extern "C" int BtrCheckFile(const char* path, BtrCheckSink sink, void* ctx) {
  using namespace recman;
  CheckReport report(sink, ctx);
  try {
    const std::string name = NameFromKeyBuffer(path, path ? 4096 : 0);
    if (name.empty()) {
      report.Problem("no file name");
      return -1;
    }
    FileId id;
    ClearReason();  // this entry point is no BTRCALL, which clears it
    if (const int status = Locate(name, false, &id); status != B_NO_ERROR) {
      const std::string why = LastReason().empty() ? BtrStatusText(status) : LastReason();
      report.Problem(status == B_FILE_NOT_FOUND ? "no such file: " + name : why);
      return -1;
    }
    return id.backend->Check(id.name, sink, ctx);
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}
