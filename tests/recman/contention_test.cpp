// Several processes on one file: lock waits that end in 85/84, a record
// changed by another process (80) while the WAL index stays in use, exclusive
// opens, and transactions that never hand out one number twice; threads
// with their own blocks.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 32;

// A one-byte message channel between parent and child.
struct Channel {
  int fd[2];
  Channel() { EXPECT_EQ(pipe(fd), 0); }
  ~Channel() { close(fd[0]), close(fd[1]); }
  void Send() { EXPECT_EQ(write(fd[1], "x", 1), 1); }
  void Wait() {  // a child that died early fails the wait instead of hanging it
    pollfd p{fd[0], POLLIN, 0};
    char c;
    EXPECT_TRUE(poll(&p, 1, 20000) == 1 && read(fd[0], &c, 1) == 1) << "no message";
  }
};

// Runs body in a child process, which exits with body's result (0 = all
// went as expected); Join returns that.
pid_t Spawn(const std::function<int()>& body) {
  Tx(B_RESET);  // nothing of this process's open files may cross into the child
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int Join(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

std::string Rec(const std::string& name, const std::string& note = {}) {
  return MakeRecord(kLen, {{0, name}, {12, note}});
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
  reclink::test::TempDir dir_;
  std::string path_;
  BtrFile f_;
};

TEST_F(ContentionTest, ExclusiveOpensThenWaitsEndingInUse) {
  Channel ready, next;
  const pid_t child = Spawn([&] {
    BtrFile g;
    if (g.Open(path_, B_MODE_EXCLUSIVE) != 0) return 1;
    ready.Send();
    next.Wait();  // the parent tried to open
    if (g.Close() != 0) return 2;
    ready.Send();
    next.Wait();  // the parent has it open
    if (g.Open(path_, B_MODE_EXCLUSIVE) != B_INCOMPATIBLE_MODE) return 3;
    if (g.Open(path_) != 0 || Tx(B_BEGIN_TRAN) != 0 || g.Insert(Rec("pending")) != 0) return 4;
    ready.Send();
    next.Wait();
    return Tx(B_END_TRAN);
  });
  ready.Wait();
  EXPECT_EQ(f_.Open(path_), B_FILE_INUSE);
  next.Send();
  ready.Wait();
  ASSERT_EQ(f_.Open(path_), 0);
  next.Send();
  ready.Wait();  // the child's transaction holds the file
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
  next.Send();
  ASSERT_EQ(Join(child), 0);
  EXPECT_EQ(f_.Insert(Rec("mine")), 0);
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "pending"), 0);
}

// SQLite marks a WAL index as in use with a read lock on byte 128 of the -shm
// file. A process with the file open must hold it all the time, also after
// reads, or the next process to open the file resets the index under it.
bool WalIndexHeldByAnother(const std::string& path) {
  const int fd = open((path + "-shm").c_str(), O_RDWR);
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 128;
  probe.l_len = 1;
  const bool held = fd >= 0 && fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_RDLCK;
  close(fd);
  return held;
}

TEST_F(ContentionTest, RecordChangedByAnotherProcessGivesConflict) {
  Channel go;
  const pid_t child = Spawn([&] {
    go.Wait();
    if (!WalIndexHeldByAnother(path_)) return 9;  // before this process opens anything
    BtrFile g;
    if (g.Open(path_) != 0 || g.Get(B_GET_EQUAL, 0, "rec") != 0) return 1;
    return g.Update(Rec("rec", "child"));
  });
  ASSERT_EQ(f_.Open(path_), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "rec"), 0);
  go.Send();
  ASSERT_EQ(Join(child), 0) << "9: the reader let go of the WAL index";
  EXPECT_EQ(f_.Update(Rec("rec", "parent")), B_CONFLICT);
  EXPECT_EQ(f_.Delete(), B_CONFLICT);
  // The very next read sees the other process's commit.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "rec"), 0);
  EXPECT_EQ(f_.Field(12), "child");
  EXPECT_EQ(f_.Update(Rec("rec", "parent")), 0);
}

TEST_F(ContentionTest, TransactionsNeverHandOutOneNumberTwice) {
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "rec"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  constexpr int kProcesses = 3, kEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([&] {
      BtrSetLockTimeout(5000);
      BtrFile g(kLen);
      if (g.Open(path_) != 0) return 1;
      for (int n = 0; n < kEach;) {
        if (Tx(B_BEGIN_TRAN) != 0) return 2;
        // Read the highest number, write the next: safe only if nobody
        // else can do the same in between.
        int st = g.Get(B_GET_LAST, 0);
        const long next = st == 0 ? std::stol(g.Field(0)) + 1 : 1;
        if (st == 0 || st == B_END_OF_FILE) {
          char number[24];
          std::snprintf(number, sizeof number, "%010ld", next);
          st = g.Insert(Rec(number));
        }
        if (st == B_FILE_INUSE || st == B_RECORD_INUSE) {
          Tx(B_ABORT_TRAN);
          continue;
        }
        if (st != 0 || Tx(B_END_TRAN) != 0) return 10 + st;
        ++n;
      }
      return 0;
    }));
  }
  for (pid_t c : children) EXPECT_EQ(Join(c), 0);
  ASSERT_EQ(f_.Open(path_), 0);
  const std::vector<std::string> numbers = f_.Walk(0);
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kProcesses * kEach));
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(std::stol(numbers[i]), static_cast<long>(i + 1));
}


// Several threads, each with its own position blocks on shared files, at
// the same time: every write lands once and every read sees whole records.
TEST(ThreadsTest, ConcurrentBlocksOnSharedFiles) {
  reclink::test::TempDir dir;
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
}  // namespace recman_test
