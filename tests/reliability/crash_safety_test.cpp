// Crash safety: workers killed with SIGKILL at random moments, and inside the
// storage's own writes, never lose an acknowledged write or a committed
// transaction and never leave a trace of one that did not commit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "crash_checker.h"
#include "crash_harness.h"
#include "reclink/btrieve.h"
#include "support/test_support.h"

namespace reclink::crash {
namespace {

// A crash directory in memory when the machine has one: a SIGKILL leaves the
// page cache intact, so what a killed process wrote is the same on tmpfs as
// on disk, and cycles do many times more work without waiting for syncs.
class CrashDir {
 public:
  CrashDir() {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
    if (base.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp && *tmp ? tmp : "/tmp";
    }
    std::string pattern = base + "/reclink-crash-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~CrashDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;  // the directory, empty when it could not be made
};

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

void ExpectClean(const CrashRunReport& r) {
  std::printf("%s\n", Summarize(r).c_str());
  for (const std::string& s : r.splits) std::printf("split commit: %s\n", s.c_str());
  for (size_t i = 0; i < r.problems.size() && i < 5; ++i) ADD_FAILURE() << r.problems[i];
  EXPECT_TRUE(r.problems.empty());
}

TEST(CrashSafety, TimerKillsKeepEveryAcknowledgedWriteAndNoUncommittedOne) {
  CrashDir dir;
  ASSERT_FALSE(dir.path().empty());
  CrashRunOptions o;
  o.worker = RECLINK_CRASH_WORKER;
  o.dir = dir.path();
  o.cycles = EnvInt("RECLINK_CRASH_CYCLES", 200);
  o.seed = static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206));
  CrashRunReport r = RunCrashCycles(o);
  ExpectClean(r);
  // The run must have reached every kind of outcome it claims to judge.
  EXPECT_EQ(r.figures.cycles, static_cast<uint64_t>(o.cycles));
  EXPECT_GT(r.figures.acknowledgedWrites, 0u);
  EXPECT_GT(r.figures.multiFileCommits, 0u);
  EXPECT_GT(r.figures.abortedTransactions, 0u);
  EXPECT_GT(r.figures.cutTransactions, 0u);
  EXPECT_GT(r.figures.recordsChecked, 0u);
}

TEST(CrashSafety, KillsInsideStorageWritesCutCommitsCleanly) {
  CrashDir dir;
  ASSERT_FALSE(dir.path().empty());
  CrashRunOptions o;
  o.worker = RECLINK_CRASH_WORKER;
  o.dir = dir.path();
  o.cycles = EnvInt("RECLINK_CRASH_STORAGE_CYCLES", 100);
  o.seed = static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206)) + 1;
  o.storageKillPermille = 10;
  o.maxDelayMs = 150;
  CrashRunReport r = RunCrashCycles(o);
  ExpectClean(r);
  EXPECT_GT(r.killedInStorage, o.cycles / 3);
  EXPECT_GT(r.figures.endsCut, 0u);
}

// Accelerated mode gives up syncing, not atomicity: a killed process (whose
// writes the page cache keeps) loses nothing it was told is done.
TEST(CrashSafety, AcceleratedModeKeepsEveryGuaranteeAgainstProcessKills) {
  CrashDir dir;
  ASSERT_FALSE(dir.path().empty());
  CrashRunOptions o;
  o.worker = RECLINK_CRASH_WORKER;
  o.dir = dir.path();
  o.cycles = EnvInt("RECLINK_CRASH_ACCELERATED_CYCLES", 60);
  o.seed = static_cast<uint64_t>(EnvInt("RECLINK_CRASH_SEED", 20261206)) + 2;
  o.storageKillPermille = 5;
  o.maxDelayMs = 60;
  o.accelerated = true;
  CrashRunReport r = RunCrashCycles(o);
  ExpectClean(r);
  EXPECT_GT(r.figures.committedTransactions, 0u);
  EXPECT_GT(r.figures.endsCut, 0u);
}

// The checker itself must notice what it exists to notice.
class CrashCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int f = 0; f < kFileCount; ++f) ASSERT_EQ(CreateRecordFile(dir_.path(), f), 0);
  }
  void TearDown() override { Reset(); }

  static void Reset() {
    uint8_t pos[B_POSITION_BLOCK_SIZE] = {};
    uint32_t len = 0;
    BTRCALL(B_RESET, pos, nullptr, &len, nullptr, 0, 0);
  }

  // Stores a record image straight into file f, outside any log.
  void Store(int f, std::vector<uint8_t> rec) {
    uint8_t pos[B_POSITION_BLOCK_SIZE] = {};
    char key[B_MAX_KEY_LENGTH + 1] = {};
    std::snprintf(key, sizeof key, "%s", FileName(dir_.path(), f).c_str());
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(B_OPEN, pos, nullptr, &len, key, B_MAX_KEY_LENGTH, 0), 0);
    len = kRecordLength;
    ASSERT_EQ(BTRCALL(B_INSERT, pos, rec.data(), &len, key, B_MAX_KEY_LENGTH, 0), 0);
    ASSERT_EQ(BTRCALL(B_CLOSE, pos, nullptr, &len, key, B_MAX_KEY_LENGTH, 0), 0);
  }

  static std::vector<LogEntry> Parse(std::initializer_list<const char*> lines) {
    std::vector<LogEntry> out;
    for (const char* l : lines) {
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

  // Where a split over files is tolerated, it is counted and not failed; a
  // file that is neither before nor after still fails.
  CrashChecker lenient(dir_.path(), false);
  Store(0, MakeRecord(0, 20, 21));
  p = lenient.CheckCycle(
      Parse({"S 7", "B 20", "R 20 0", "I 21 0 20 21", "R 21 0", "I 22 1 20 22", "R 22 0", "E 23"}));
  EXPECT_EQ(p, "");
  EXPECT_EQ(lenient.figures().splitCommits, 1u);
  Store(1, MakeRecord(1, 30, 31));
  p = lenient.CheckCycle(
      Parse({"S 8", "B 30", "R 30 0", "I 31 0 30 31", "R 31 0", "I 32 1 30 32", "R 32 0", "E 33"}));
  EXPECT_NE(p.find("neither allowed outcome"), std::string::npos) << p;

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

TEST(CrashLog, TornLastLineIsDroppedAndMalformedLinesAreReported) {
  test::TempDir dir;
  std::string path = LogName(dir.path());
  FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("S 7\nI 1 2 3 4\nR 1 0\nE 2\nR 2", f);
  std::fclose(f);
  std::string error;
  std::vector<LogEntry> log = ReadLog(path, &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].kind, LogEntry::kInsert);
  EXPECT_EQ(log[1].file, 2);
  EXPECT_EQ(log[1].id, 3u);
  EXPECT_EQ(log[1].gen, 4u);
  EXPECT_EQ(log[3].kind, LogEntry::kEnd);

  f = std::fopen(path.c_str(), "a");
  std::fputs(" 0\nI 9 7 1 1\n", f);  // file 7 does not exist
  std::fclose(f);
  log = ReadLog(path, &error);
  EXPECT_EQ(log.size(), 5u);
  EXPECT_NE(error.find("I 9 7 1 1"), std::string::npos);
}

}  // namespace
}  // namespace reclink::crash
