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
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "crash_checker.h"
#include "kill_vfs.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace reclink::crash {
namespace {

using test::ChildProcess;

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

// Creates the crash files afresh in dir and runs the cycles, seeded by seed.
CrashRunReport RunCrashCycles(const CrashRunOptions& o, const std::string& dir, uint64_t seed) {
  CrashRunReport report;
  for (int f = 0; f < kFileCount; ++f) {
    if (int st = CreateRecordFile(dir, f); st != 0) {
      report.problems.push_back("create of crash file returned " + std::to_string(st));
      return report;
    }
  }
  CrashChecker checker(dir);
  std::mt19937_64 rng(seed);
  for (int cycle = 0; cycle < o.cycles; ++cycle) {
    uint64_t workerSeed = rng();
    std::error_code ec;
    uint64_t logStart = std::filesystem::exists(LogName(dir), ec) ? std::filesystem::file_size(LogName(dir), ec) : 0;
    ChildProcess worker("CrashWorker", {dir, std::to_string(workerSeed), std::to_string(o.storageKillPermille),
                                        std::to_string(o.accelerated ? B_MODE_ACCELERATED : B_MODE_NORMAL)});
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
      report.problems.push_back(where + "worker ended by itself, status " + std::to_string(code));
    } else {
      ++(said == kKilledInStorage ? report.killedInStorage : report.killedByTimer);
    }
    // The cycle's log: from its start line on.
    std::string error;
    std::vector<LogEntry> log = ReadLog(LogName(dir), &error, logStart);
    while (!log.empty() && log.front().kind != LogEntry::kStart) log.erase(log.begin());
    // Every other cycle the check sees the files as the kill left them,
    // before any open has settled what a cut End left behind.
    std::string problem = cycle % 2 == 1 ? checker.CheckFileIntegrity() : "";
    if (problem.empty()) problem = error.empty() ? checker.CheckCycle(log) : error;
    if (problem.empty()) problem = checker.CheckFileIntegrity();
    if (!problem.empty()) report.problems.push_back(where + problem);
  }
  report.figures = checker.figures();
  return report;
}

// One paragraph of what a run did.
std::string Summarize(const CrashRunReport& r) {
  const CheckFigures& f = r.figures;
  auto n = [](uint64_t v) { return std::to_string(v); };
  return n(f.cycles) + " cycles (" + n(r.killedByTimer) + " killed by timer, " + n(r.killedInStorage) +
         " inside a storage write); " + n(f.acknowledgedWrites) + " acknowledged writes, " +
         n(f.committedTransactions) + " committed transactions (" + n(f.multiFileCommits) +
         " over several files), " + n(f.abortedTransactions) + " aborted, " + n(f.cutTransactions) +
         " cut open; " + n(f.endsCut) + " Ends cut, " + n(f.splitCommits) + " of them split over files; " +
         n(f.recordsChecked) + " records read back and compared; " + n(f.fileChecks) + " file checks; " +
         n(r.problems.size()) + " problems";
}

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Runs the cycles in a crash directory in memory when the machine has one: a
// SIGKILL leaves the page cache intact, so what a killed process wrote is the
// same on tmpfs as on disk, and cycles do many times more work without
// waiting for syncs. The run must be clean and must have reached every kind
// of outcome it claims to judge.
CrashRunReport RunClean(CrashRunOptions o, const char* cyclesVariable, int seedOffset) {
  const char* kept = std::getenv("RECLINK_CRASH_DIR");
  std::string base = kept && *kept ? kept : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
  if (base.empty()) base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  std::string dir = base + "/reclink-crash-XXXXXX";
  EXPECT_NE(mkdtemp(dir.data()), nullptr);
  o.cycles = EnvInt(cyclesVariable, o.cycles);
  CrashRunReport r = RunCrashCycles(o, dir, static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206)) + seedOffset);
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

// The checker itself must notice what it exists to notice.
class CrashCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int f = 0; f < kFileCount; ++f) ASSERT_EQ(CreateRecordFile(dir_.path(), f), 0);
  }
  void TearDown() override { test::Tx(B_RESET); }

  // Stores a record image straight into file f, outside any log.
  void Store(int f, const std::string& rec) {
    test::BtrFile file;
    ASSERT_EQ(file.Open(FileName(dir_.path(), f)), 0);
    ASSERT_EQ(file.Insert(rec), 0);
  }

  // Log lines with their unused fields left out: "I seq file id gen",
  // "R seq status", "S seq".
  static std::vector<LogEntry> Parse(std::initializer_list<const char*> lines) {
    std::vector<LogEntry> out;
    for (std::string l : lines) {
      if (l[0] == 'R') l.insert(l.rfind(' '), " 0 0 0");
      for (int fields = int(std::count(l.begin(), l.end(), ' ')); fields < 5; ++fields) l += " 0";
      LogEntry e;
      EXPECT_TRUE(ParseEntry(l, &e)) << l;
      out.push_back(e);
    }
    return out;
  }

  test::TempDir dir_;
};

TEST_F(CrashCheckerTest, FlagsLostTornPartialAndForeignRecords) {
  CrashChecker checker(dir_.path());
  // An acknowledged insert that is not on file.
  std::string p = checker.CheckCycle(Parse({"S 1", "I 1 0 5 1", "R 1 0"}));
  EXPECT_NE(p.find("file 0 id 5: missing"), std::string::npos) << p;

  // A transaction cut in its End that reached only one of its two files.
  Store(0, MakeRecord(0, 7, 3));
  p = checker.CheckCycle(
      Parse({"S 2", "B 2", "R 2 0", "I 3 0 7 3", "R 3 0", "I 4 1 8 4", "R 4 0", "E 5"}));
  EXPECT_NE(p.find("reached file(s) 0 but not 1"), std::string::npos) << p;
  EXPECT_NE(p.find("file 1 id 8: missing"), std::string::npos) << p;
  EXPECT_EQ(checker.figures().splitCommits, 1u);

  // The same cut End is fine once both halves are there.
  Store(1, MakeRecord(1, 8, 4));
  p = checker.CheckCycle(Parse({"S 3", "B 6", "R 6 0", "I 7 1 8 4", "R 7 0", "E 8"}));
  EXPECT_EQ(p, "");

  // A write of an unfinished transaction that reached the file.
  Store(2, MakeRecord(2, 9, 10));
  p = checker.CheckCycle(Parse({"S 4", "B 9", "R 9 0", "I 10 2 9 10", "R 10 0"}));
  EXPECT_NE(p.find("file 2 id 9: unexpected"), std::string::npos) << p;

  // A record whose bytes do not belong to its id and generation.
  std::string torn = MakeRecord(2, 11, 12);
  torn.back() ^= 1;
  Store(2, torn);
  p = checker.CheckCycle(Parse({"S 5"}));
  EXPECT_NE(p.find("torn"), std::string::npos) << p;

  // A status other than 0 where a lone writer must always succeed.
  p = checker.CheckCycle(Parse({"S 6", "D 13 1 8 0", "R 13 84"}));
  EXPECT_NE(p.find("returned status 84"), std::string::npos) << p;
}

}  // namespace
}  // namespace reclink::crash
