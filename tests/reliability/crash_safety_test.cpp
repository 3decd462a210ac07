// Crash safety: workers killed with SIGKILL at random moments, and inside the
// storage's own writes, never lose an acknowledged write or a committed
// transaction and never leave a trace of one that did not commit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "btr_file.h"
#include "crash_checker.h"
#include "crash_harness.h"
#include "support/test_support.h"

namespace reclink::crash {
namespace {

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
  std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
  if (base.empty()) base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  std::string dir = base + "/reclink-crash-XXXXXX";
  EXPECT_NE(mkdtemp(dir.data()), nullptr);
  o.worker = RECLINK_CRASH_WORKER;
  o.dir = dir;
  o.cycles = EnvInt(cyclesVariable, o.cycles);
  o.seed = static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206)) + seedOffset;
  CrashRunReport r = RunCrashCycles(o);
  std::filesystem::remove_all(dir);
  std::printf("%s\n", Summarize(r).c_str());
  for (size_t i = 0; i < r.problems.size() && i < 5; ++i) ADD_FAILURE() << r.problems[i];
  EXPECT_TRUE(r.problems.empty());
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
  void TearDown() override { test::BtrClientCall(B_RESET); }

  // Stores a record image straight into file f, outside any log.
  void Store(int f, std::vector<uint8_t> rec) {
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
  std::vector<uint8_t> torn = MakeRecord(2, 11, 12);
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
