// The child role that takes the workload's steps on the crash files until it
// is killed. It tells its parent "done N" once step N has returned 0, and
// "ending N" just before the End of transaction step N: what it wrote to the
// channel before the kill reaches the parent, which so learns the last step
// acknowledged and whether an End was in flight.
//
//   CrashWorker DIR SEED FIRST_STEP KILL_PERMILLE KILL_SEED
//
// The last file is opened accelerated (-1), the others normally: accelerated
// gives up syncing, not atomicity, and a transaction may span both kinds.
// KILL_PERMILLE, when not 0, is the chance of dying in each storage write,
// drawn from KILL_SEED (kill_vfs.h), which the parent changes every cycle
// lest a worker that starts again at the same step die at the same point.
// The worker says "ready" to its parent once its files are open.

#include <cstdio>
#include <string>

#include "crash_workload.h"
#include "kill_vfs.h"
#include "support/child_process.h"

namespace reclink::crash {
namespace {

// One write of a step; the record as it is decides between Insert, Update
// and Delete. Returns the first status other than 0.
int WriteRecord(test::BtrFile& file, const Write& w, uint32_t gen) {
  const int st = file.Get(B_GET_EQUAL, 0, IdKey(w.id));
  if (st == B_KEY_VALUE_NOT_FOUND) return file.Insert(MakeRecord(w.file, w.id, gen));
  if (st != 0) return st;
  return w.erase ? file.Delete() : file.Update(MakeRecord(w.file, w.id, gen));
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "crash worker: %s\n", why.c_str());
  return 3;
}

}  // namespace

RECLINK_CHILD_ROLE(CrashWorker) {
  const uint64_t seed = std::stoull(args.at(1));
  const auto first = static_cast<uint32_t>(std::stoul(args.at(2)));
  if (const unsigned permille = std::stoul(args.at(3)); permille != 0) {
    InstallKillVfs(std::stoull(args.at(4)), permille);
  }
  test::BtrFile files[kFileCount];
  for (int f = 0; f < kFileCount; ++f) {
    const int8_t mode = f == kFileCount - 1 ? B_MODE_ACCELERATED : B_MODE_NORMAL;
    if (const int st = files[f].Open(FileName(args[0], f), mode); st != 0) {
      return Fail("open " + FileName(args[0], f) + " returned " + std::to_string(st));
    }
  }
  test::SendToParent("ready");
  for (uint32_t n = first;; ++n) {
    const Step step = MakeStep(seed, n);
    int st = step.transaction ? test::Tx(B_BEGIN_TRAN) : 0;
    for (size_t i = 0; i < step.writes.size() && st == 0; ++i) {
      st = WriteRecord(files[step.writes[i].file], step.writes[i], n);
    }
    if (step.transaction && st == 0) {
      if (!step.abort) test::SendToParent("ending " + std::to_string(n));
      st = test::Tx(step.abort ? B_ABORT_TRAN : B_END_TRAN);
    }
    if (st != 0) return Fail("step " + std::to_string(n) + " returned status " + std::to_string(st));
    test::SendToParent("done " + std::to_string(n));
  }
}

}  // namespace reclink::crash
