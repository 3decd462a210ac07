// The child role that writes the crash files at random until it is killed.
// Before each write call it logs what it is about to do; after the call it
// logs the status and syncs the log, so that the checker knows every call
// that was acknowledged and at most one call that was in flight when the
// kill came.
//
//   CrashWorker DIR SEED STORAGE_KILL_PERMILLE OPEN_MODE FIRST_SEQ
//
// STORAGE_KILL_PERMILLE 0 leaves storage alone; OPEN_MODE is the mode the
// files are opened in (0 normal, -1 accelerated); FIRST_SEQ numbers its
// first intent, above every one in the log, so that the generations it
// writes are new. The worker says "ready" to
// its parent once its files are open.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "crash_workload.h"
#include "kill_vfs.h"
#include "support/child_process.h"

namespace reclink::crash {
namespace {

class Worker {
 public:
  Worker(std::string dir, uint64_t seed, uint64_t firstSeq)
      : dir_(std::move(dir)), rng_(seed), seq_(firstSeq) {}

  int Run(int8_t mode) {
    log_ = open(LogName(dir_).c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (log_ < 0) return Fail("cannot open side log");
    Log({LogEntry::kStart, static_cast<uint64_t>(getpid())});
    for (int f = 0; f < kFileCount; ++f) {
      if (int st = files_[f].Open(FileName(dir_, f), mode); st != 0) {
        return Fail("open " + FileName(dir_, f) + " returned " + std::to_string(st));
      }
    }
    test::SendToParent("ready");
    for (;;) {
      bool ok = Pick(100) < 35 ? WriteOne(Pick(kFileCount)) : Transaction();
      if (!ok) return Fail("a call returned a status other than 0");
    }
  }

 private:
  unsigned Pick(unsigned n) { return static_cast<unsigned>(rng_() % n); }

  void Log(const LogEntry& e) {
    const std::string line = FormatEntry(e) + "\n";
    if (write(log_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      std::_Exit(Fail("side log write failed"));
    }
    if (e.kind == LogEntry::kResult || e.kind == LogEntry::kStart) fdatasync(log_);
  }

  // Logs the intent, makes the call, logs its status.
  int Call(LogEntry intent, const std::function<int()>& call) {
    intent.seq = seq_++;
    Log(intent);
    int st = call();
    Log({LogEntry::kResult, intent.seq, 0, 0, 0, st});
    return st;
  }

  // One insert, update or delete of a random id of file f; false when a call
  // returned a status that a lone writer must never see.
  bool WriteOne(int f) {
    test::BtrFile& file = files_[f];
    uint32_t id = 1 + Pick(kIdRange);
    int st = file.Get(B_GET_EQUAL, 0, IdKey(id));
    if (st != 0 && st != B_KEY_VALUE_NOT_FOUND) return false;
    uint32_t gen = static_cast<uint32_t>(seq_);
    std::string rec = MakeRecord(f, id, gen);
    if (st == B_KEY_VALUE_NOT_FOUND) {
      st = Call({LogEntry::kInsert, 0, f, id, gen}, [&] { return file.Insert(rec); });
    } else if (Pick(2) == 0) {
      st = Call({LogEntry::kUpdate, 0, f, id, gen}, [&] { return file.Update(rec); });
    } else {
      st = Call({LogEntry::kDelete, 0, f, id, 0}, [&] { return file.Delete(); });
    }
    return st == 0;
  }

  // Begin, one to six writes over random files, then End or (one in five)
  // Abort.
  bool Transaction() {
    if (Call({LogEntry::kBegin}, [] { return test::Tx(B_BEGIN_TRAN); }) != 0) {
      return false;
    }
    for (int i = 0, writes = 1 + static_cast<int>(Pick(6)); i < writes; ++i) {
      if (!WriteOne(Pick(kFileCount))) return false;
    }
    uint16_t op = Pick(5) == 0 ? B_ABORT_TRAN : B_END_TRAN;
    LogEntry::Kind kind = op == B_ABORT_TRAN ? LogEntry::kAbort : LogEntry::kEnd;
    return Call({kind}, [op] { return test::Tx(op); }) == 0;
  }

  int Fail(const std::string& why) {
    std::fprintf(stderr, "crash worker: %s\n", why.c_str());
    return 3;
  }

  std::string dir_;
  std::mt19937_64 rng_;
  int log_ = -1;
  uint64_t seq_;  // the next intent's sequence number
  test::BtrFile files_[kFileCount];
};

}  // namespace

RECLINK_CHILD_ROLE(CrashWorker) {
  const uint64_t seed = std::stoull(args.at(1));
  if (const unsigned permille = std::stoul(args.at(2)); permille != 0) InstallKillVfs(seed, permille);
  const auto mode = static_cast<int8_t>(std::stoi(args.at(3)));
  return Worker(args[0], seed, std::stoull(args.at(4))).Run(mode);
}

}  // namespace reclink::crash
