// Several processes on one file: lock waits that end in 85/84, a record
// changed by another process (80) while the WAL index stays in use, exclusive
// opens; threads with their own blocks.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/os_files.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 32;

std::string Rec(const std::string& name, const std::string& note = {}) {
  return MakeRecord(kLen, {{0, name}, {12, note}});
}

// The child's side of each step: says "ready", then waits for the parent's go.
bool ReadyThenWait() {
  SendToParent("ready");
  return ReceiveFromParent().has_value();
}

// Holds args[0] exclusively, then in a transaction; exit code 0 when every
// step gave what it should.
RECLINK_CHILD_ROLE(ExclusiveThenTransaction) {
  BtrFile g;
  if (g.Open(args[0], B_MODE_EXCLUSIVE) != 0) return 1;
  if (!ReadyThenWait()) return 5;  // the parent tried to open
  if (g.Close() != 0) return 2;
  if (!ReadyThenWait()) return 5;  // the parent has it open
  if (g.Open(args[0], B_MODE_EXCLUSIVE) != B_INCOMPATIBLE_MODE) return 3;
  if (g.Open(args[0]) != 0 || Tx(B_BEGIN_TRAN) != 0 || g.Insert(Rec("pending")) != 0) return 4;
  if (!ReadyThenWait()) return 5;
  return Tx(B_END_TRAN);
}

class ContentionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("shared.dat");
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 10, B_KEY_DUPLICATES}})), 0);
    BtrSetLockTimeout(300);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Open(path_), 0);
    ASSERT_EQ(f_.Insert(Rec("rec", "v0")), 0);
  }
  void TearDown() override {
    Tx(B_RESET);
    BtrSetLockTimeout(5000);
  }
  TempDir dir_;
  std::string path_;
  BtrFile f_;
};

TEST_F(ContentionTest, ExclusiveOpensThenWaitsEndingInUse) {
  ASSERT_EQ(f_.Close(), 0);
  ChildProcess child("ExclusiveThenTransaction", {path_});
  auto next = [&] { return child.Send("go") ? child.Receive() : std::nullopt; };
  ASSERT_EQ(child.Receive(), "ready");
  EXPECT_EQ(f_.Open(path_), B_FILE_INUSE);
  ASSERT_EQ(next(), "ready");
  ASSERT_EQ(f_.Open(path_), 0);
  ASSERT_EQ(next(), "ready");  // the child's transaction holds the file
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f_.Insert(Rec("mine")), B_FILE_INUSE);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
  // Reading goes on, and sees only what was committed.
  ASSERT_EQ(f_.Get(B_GET_LAST, 0), 0);
  EXPECT_EQ(f_.Field(0), "rec");
  EXPECT_EQ(f_.Update(Rec("rec", "x")), B_RECORD_INUSE);
  EXPECT_EQ(f_.Delete(), B_RECORD_INUSE);
  // A transaction of ours meets the lock on its first access.
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_FILE_INUSE);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  child.Send("go");
  ASSERT_EQ(child.Wait(), 0);
  EXPECT_EQ(f_.Insert(Rec("mine")), 0);
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "pending"), 0);
}

// SQLite marks a WAL index as in use with a shared lock on byte 128 of the
// -shm file, on every system. A process with the file open must hold it all
// the time, also after reads, or the next process to open the file resets
// the index under it. The child checks that before it opens anything, then
// changes the record; exit code 9 when the index was free, else Update's
// status.
RECLINK_CHILD_ROLE(UpdateBehindReader) {
  if (!ByteLockedByAnother(args[0] + "-shm", 128)) return 9;
  BtrFile g;
  if (g.Open(args[0]) != 0 || g.Get(B_GET_EQUAL, 0, "rec") != 0) return 1;
  return g.Update(Rec("rec", "child"));
}

TEST_F(ContentionTest, RecordChangedByAnotherProcessGivesConflict) {
  ASSERT_EQ(f_.Close(), 0);  // only reads from here on
  ASSERT_EQ(f_.Open(path_), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "rec"), 0);
  ChildProcess child("UpdateBehindReader", {path_});
  ASSERT_EQ(child.Wait(), 0) << "9: the reader let go of the WAL index";
  EXPECT_EQ(f_.Update(Rec("rec", "parent")), B_CONFLICT);
  EXPECT_EQ(f_.Delete(), B_CONFLICT);
  // The very next read sees the other process's commit.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "rec"), 0);
  EXPECT_EQ(f_.Field(12), "child");
  EXPECT_EQ(f_.Update(Rec("rec", "parent")), 0);
}

// Where readers and a writer of one file meet, SQLite itself waits between
// tries (for the WAL index). The SQLite the engine is built with must sleep
// in milliseconds there: compiled without the system's usleep, it sleeps
// whole seconds, and every such meeting stalls a reader for one.
TEST(LockWaitTest, SqliteSleepsMillisecondsNotSeconds) {
  EXPECT_EQ(sqlite3_sleep(1), 1);
}

// Several threads, each with its own position blocks on shared files, at
// the same time: every write lands once and every read sees whole records.
TEST(ThreadsTest, ConcurrentBlocksOnSharedFiles) {
  TempDir dir;
  const std::string paths[2] = {dir.file("t0.dat"), dir.file("t1.dat")};
  for (const std::string& p : paths) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 16, 0}})), 0);
  constexpr int kThreads = 4, kEach = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      BtrFile f(kLen);
      failures += f.Open(paths[t % 2], B_MODE_ACCELERATED) != 0;
      for (int i = 0; i < kEach; ++i) {
        // The record repeats its name, so a torn read would show.
        const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        failures += f.Insert(MakeRecord(kLen, {{0, name}, {16, name}})) != 0;
        failures += f.Get(B_GET_EQUAL, 0, name) != 0 || f.Field(16) != name;
        for (int st = i % 10 ? 1 : f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
          failures += f.Field(0) != f.Field(16);
        }
      }
      failures += f.Close() != 0;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  for (const std::string& p : paths) {
    BtrFile f;
    ASSERT_EQ(f.Open(p), 0);
    int count = 0;
    for (int st = f.Step(B_STEP_FIRST); st == 0; st = f.Step(B_STEP_NEXT)) ++count;
    EXPECT_EQ(count, kThreads / 2 * kEach);
    EXPECT_EQ(f.Close(), 0);
  }
}

}  // namespace
}  // namespace reclink::test
