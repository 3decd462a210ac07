// Crash safety: workers killed with SIGKILL at random moments, and inside the
// storage's own writes, never lose an acknowledged write or a committed
// transaction and never leave a trace of one that did not commit. Each kill
// cycle starts a worker (crash_worker.cpp) on the crash directory, kills it,
// and checks what the files hold against its side log.
//
// The environment sets the length of a longer run (scripts/crash-soak):
// RECLINK_CRASH_CYCLES, RECLINK_CRASH_STORAGE_CYCLES,
// RECLINK_CRASH_ACCELERATED_CYCLES, RECLINK_CRASH_SEED, and RECLINK_CRASH_DIR,
// a directory in which the crash directories are made (and kept when a run
// finds a problem) instead of in memory.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "crash_workload.h"
#include "kill_vfs.h"
#include "reclink/recman_check.h"
#include "support/child_process.h"

namespace reclink::crash {
namespace {

using test::ChildProcess;

using DbState = std::array<FileState, kFileCount>;

// Figures of a run, summed over the cycles checked.
struct CheckFigures {
  uint64_t cycles = 0;                 // cycles checked
  uint64_t acknowledgedWrites = 0;     // writes outside a transaction that returned 0
  uint64_t committedTransactions = 0;  // End returned 0
  uint64_t multiFileCommits = 0;       // of those, transactions that wrote several files
  uint64_t abortedTransactions = 0;    // Abort returned 0
  uint64_t cutTransactions = 0;        // open when the kill came
  uint64_t endsCut = 0;                // Ends cut by the kill
  uint64_t recordsChecked = 0;         // records read back and compared
};

void Apply(DbState* state, const LogEntry& e) {
  if (e.kind == LogEntry::kDelete) {
    (*state)[e.file].erase(e.id);
  } else {
    (*state)[e.file][e.id] = e.gen;
  }
}

bool IsWrite(const LogEntry& e) {
  return e.kind == LogEntry::kInsert || e.kind == LogEntry::kUpdate || e.kind == LogEntry::kDelete;
}

// How actual differs from expected, at most six ids per file ("none": no
// record of that id).
std::string Difference(const DbState& expected, const DbState& actual) {
  auto generation = [](const FileState& state, uint32_t id) {
    const auto it = state.find(id);
    return it == state.end() ? std::string("none") : std::to_string(it->second);
  };
  std::string out;
  for (int f = 0; f < kFileCount; ++f) {
    std::set<uint32_t> ids;
    for (const auto& [id, gen] : expected[f]) ids.insert(id);
    for (const auto& [id, gen] : actual[f]) ids.insert(id);
    int shown = 0;
    for (uint32_t id : ids) {
      const std::string want = generation(expected[f], id), got = generation(actual[f], id);
      if (want != got && shown++ < 6) {
        out += "  file " + std::to_string(f) + " id " + std::to_string(id) + ": generation " + got +
               ", expected " + want + "\n";
      }
    }
  }
  return out;
}

// Replays a worker's side log against a model of the crash files and
// compares the model with what the files hold after the kill.
class CrashChecker {
 public:
  // dir holds the crash files; the model starts from the files as they are.
  explicit CrashChecker(std::string dir) : dir_(std::move(dir)) {
    DbState actual;
    if (ReadFiles(&actual).empty()) model_ = actual;
  }

  // Folds one cycle's log entries (its start line first) into the model and
  // compares with the files: they must hold the state without the call in
  // flight or with it whole (for an End: over every file it wrote). Returns
  // an empty string, or what is wrong; the model then becomes what the files
  // hold, so later cycles are still judged.
  std::string CheckCycle(const std::vector<LogEntry>& cycle) {
    std::string problems;
    DbState committed = model_;
    std::vector<LogEntry> pending;  // acknowledged writes of the open transaction
    bool inTransaction = false;
    std::optional<LogEntry> open;  // intent whose result never came
    for (const LogEntry& e : cycle) {
      if (e.kind == LogEntry::kStart) continue;
      if (e.kind != LogEntry::kResult) {
        if (open) problems += "intent without result: " + FormatEntry(*open) + "\n";
        open = e;
        continue;
      }
      if (!open || open->seq != e.seq) {
        problems += "result without intent: " + FormatEntry(e) + "\n";
        continue;
      }
      LogEntry call = *open;
      open.reset();
      if (e.status != 0) {
        problems += FormatEntry(call) + " returned status " + std::to_string(e.status) + "\n";
        if (call.kind != LogEntry::kBegin) continue;
      }
      if (call.kind == LogEntry::kEnd) {
        std::set<int> files;
        for (const LogEntry& w : pending) {
          Apply(&committed, w);
          files.insert(w.file);
        }
        figures_.committedTransactions++;
        if (files.size() > 1) figures_.multiFileCommits++;
      } else if (call.kind == LogEntry::kAbort) {
        figures_.abortedTransactions++;
      } else if (call.kind != LogEntry::kBegin && inTransaction) {
        pending.push_back(call);
        continue;
      } else if (call.kind != LogEntry::kBegin) {
        Apply(&committed, call);
        figures_.acknowledgedWrites++;
        continue;
      }
      inTransaction = call.kind == LogEntry::kBegin && e.status == 0;
      pending.clear();
    }
    // The kill came while `open` was in flight: its effect may or may not be
    // there, but only as a whole.
    std::optional<DbState> withCall;
    if (open && IsWrite(*open) && !inTransaction) {
      withCall = committed;
      Apply(&*withCall, *open);
    } else if (open && open->kind == LogEntry::kEnd) {
      withCall = committed;
      for (const LogEntry& w : pending) Apply(&*withCall, w);
      figures_.endsCut++;
    }
    if (inTransaction) figures_.cutTransactions++;
    figures_.cycles++;

    DbState actual;
    std::string readProblem = ReadFiles(&actual);
    if (!readProblem.empty()) problems += readProblem + "\n";
    if (actual != committed && !(withCall && actual == *withCall)) {
      problems += "files hold neither allowed outcome";
      if (open) problems += " (in flight: " + FormatEntry(*open) + ")";
      problems += "\nagainst the state before:\n" + Difference(committed, actual);
      if (withCall) problems += "against the state after:\n" + Difference(*withCall, actual);
    }
    model_ = actual;
    return problems;
  }

  // Runs the record-file check over every crash file.
  std::string CheckFileIntegrity() {
    std::string problems;
    for (int f = 0; f < kFileCount; ++f) {
      std::string sink;
      std::string path = FileName(dir_, f);
      int found = CheckRecordFile(path, &sink);
      if (found != 0) {
        problems += path + ": check found " + std::to_string(found) + " problem(s)\n" + sink;
      }
    }
    return problems;
  }

  const CheckFigures& figures() const { return figures_; }

 private:
  std::string ReadFiles(DbState* out) {
    for (int f = 0; f < kFileCount; ++f) {
      std::string problem = ReadRecordFile(FileName(dir_, f), f, &(*out)[f]);
      figures_.recordsChecked += (*out)[f].size();
      if (!problem.empty()) return problem;
    }
    return "";
  }

  std::string dir_;       // the crash directory
  DbState model_;         // what the files must hold after the last cycle
  CheckFigures figures_;  // running totals
};

struct CrashRunOptions {
  int cycles = 200;                  // kill cycles to run
  int maxDelayMs = 40;               // kill at a uniform moment in [0, maxDelayMs] after ready
  unsigned storageKillPermille = 0;  // >0: workers also die inside storage writes
  bool accelerated = false;          // workers open the files in accelerated mode (-1)
};

struct CrashRunReport {
  CheckFigures figures;               // what the checker saw
  int killedByTimer = 0;              // cycles ended by the parent's SIGKILL
  int killedInStorage = 0;            // cycles where the worker died in a write
  std::vector<std::string> problems;  // one entry per failing cycle
};

// One paragraph of what a run did.
std::string Summarize(const CrashRunReport& r) {
  const CheckFigures& f = r.figures;
  auto n = [](uint64_t v) { return std::to_string(v); };
  return n(f.cycles) + " cycles (" + n(r.killedByTimer) + " killed by timer, " + n(r.killedInStorage) +
         " inside a storage write); " + n(f.acknowledgedWrites) + " acknowledged writes, " +
         n(f.committedTransactions) + " committed transactions (" + n(f.multiFileCommits) +
         " over several files), " + n(f.abortedTransactions) + " aborted, " + n(f.cutTransactions) +
         " cut open, " + n(f.endsCut) + " cut in End; " + n(f.recordsChecked) +
         " records read back; " + n(r.problems.size()) + " problems";
}

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Creates the crash files afresh and runs the cycles in a crash directory in
// memory when the machine has one: a SIGKILL leaves the page cache intact, so
// what a killed process wrote is the same on tmpfs as on disk, and cycles do
// many times more work without waiting for syncs. The run must be clean and
// must have reached every kind of outcome it claims to judge.
CrashRunReport RunClean(CrashRunOptions o, const char* cyclesVariable, int seedOffset) {
  const char* kept = std::getenv("RECLINK_CRASH_DIR");
  std::string base = kept && *kept ? kept : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
  if (base.empty()) base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  std::string dir = base + "/reclink-crash-XXXXXX";
  EXPECT_NE(mkdtemp(dir.data()), nullptr);
  o.cycles = EnvInt(cyclesVariable, o.cycles);
  for (int f = 0; f < kFileCount; ++f) {
    if (const int st = CreateRecordFile(dir, f); st != 0) {
      ADD_FAILURE() << "creating " << FileName(dir, f) << " gave status " << st << ", " << BtrStatusText(st);
      return {};
    }
  }

  CrashRunReport r;
  CrashChecker checker(dir);
  std::mt19937_64 rng(static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206)) + seedOffset);
  uint64_t nextSeq = 1;  // above every sequence number in the log
  for (int cycle = 0; cycle < o.cycles; ++cycle) {
    uint64_t workerSeed = rng();
    std::error_code ec;
    uint64_t logStart = std::filesystem::exists(LogName(dir), ec) ? std::filesystem::file_size(LogName(dir), ec) : 0;
    const int mode = o.accelerated ? B_MODE_ACCELERATED : B_MODE_NORMAL;
    ChildProcess worker("CrashWorker", {dir, std::to_string(workerSeed), std::to_string(o.storageKillPermille),
                                        std::to_string(mode), std::to_string(nextSeq)});
    std::optional<std::string> said = worker.Receive(std::chrono::seconds(10));
    if (said == "ready") {
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % (o.maxDelayMs * 1000 + 1)));
      said = worker.Receive(std::chrono::milliseconds(0));
    }
    // A worker that died inside storage said so; otherwise the timer's kill
    // ends it now.
    worker.Kill();
    std::string where = "cycle " + std::to_string(cycle) + " (worker seed " + std::to_string(workerSeed) + "): ";
    if (const int code = worker.Wait(); code != ChildProcess::kKilled) {
      r.problems.push_back(where + "worker ended by itself, status " + std::to_string(code));
    } else {
      ++(said == kKilledInStorage ? r.killedInStorage : r.killedByTimer);
    }
    // The cycle's log: from its start line on.
    std::string error;
    std::vector<LogEntry> log = ReadLog(LogName(dir), &error, logStart);
    while (!log.empty() && log.front().kind != LogEntry::kStart) log.erase(log.begin());
    for (const LogEntry& e : log) {
      if (e.kind != LogEntry::kStart) nextSeq = std::max(nextSeq, e.seq + 1);
    }
    // Every other cycle the check sees the files as the kill left them,
    // before any open has settled what a cut End left behind.
    std::string problem = cycle % 2 == 1 ? checker.CheckFileIntegrity() : "";
    if (problem.empty()) problem = error.empty() ? checker.CheckCycle(log) : error;
    if (problem.empty()) problem = checker.CheckFileIntegrity();
    if (!problem.empty()) r.problems.push_back(where + problem);
  }
  r.figures = checker.figures();

  if (r.problems.empty() || !kept) std::filesystem::remove_all(dir);
  std::printf("%s\n", Summarize(r).c_str());
  for (size_t i = 0; i < r.problems.size() && i < 5; ++i) ADD_FAILURE() << r.problems[i];
  EXPECT_TRUE(r.problems.empty()) << (kept ? "the crash directory is kept: " + dir : "");
  EXPECT_EQ(r.figures.cycles, static_cast<uint64_t>(o.cycles));
  for (uint64_t seen : {r.figures.acknowledgedWrites, r.figures.multiFileCommits,
                        r.figures.abortedTransactions, r.figures.cutTransactions,
                        r.figures.endsCut, r.figures.recordsChecked}) {
    EXPECT_GT(seen, 0u) << Summarize(r);
  }
  return r;
}

TEST(CrashSafety, TimerKillsKeepEveryAcknowledgedWriteAndNoUncommittedOne) {
  RunClean({.cycles = 200}, "RECLINK_CRASH_CYCLES", 0);
}

TEST(CrashSafety, KillsInsideStorageWritesCutCommitsCleanly) {
  CrashRunReport r = RunClean({.cycles = 100, .maxDelayMs = 150, .storageKillPermille = 10},
                              "RECLINK_CRASH_STORAGE_CYCLES", 1);
  EXPECT_GT(r.killedInStorage, static_cast<int>(r.figures.cycles / 3));
}

// Accelerated mode gives up syncing, not atomicity: a killed process (whose
// writes the page cache keeps) loses nothing it was told is done.
TEST(CrashSafety, AcceleratedModeKeepsEveryGuaranteeAgainstProcessKills) {
  RunClean({.cycles = 60, .maxDelayMs = 60, .storageKillPermille = 5, .accelerated = true},
           "RECLINK_CRASH_ACCELERATED_CYCLES", 2);
}

}  // namespace
}  // namespace reclink::crash
