// Several processes on one file: lock waits that end in 85/84, a record
// changed by another process (80), exclusive opens, and transactions that
// hand out numbers without ever giving one twice.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <set>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 32;

int Tx(uint16_t op) { return BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0); }

// A one-byte message channel between parent and child.
struct Channel {
  int fd[2];
  Channel() { EXPECT_EQ(pipe(fd), 0); }
  ~Channel() {
    close(fd[0]);
    close(fd[1]);
  }
  void Send() { EXPECT_EQ(write(fd[1], "x", 1), 1); }
  void Wait() {
    char c;
    EXPECT_EQ(read(fd[0], &c, 1), 1);
  }
};

// Runs body in a child process; returns its pid. The child exits with
// body's result (0 = all went as expected).
pid_t Spawn(const std::function<int()>& body) {
  // Nothing of this process's open files may cross into the child.
  Tx(B_RESET);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int Join(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

class ContentionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("shared.dat");
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 10, B_KEY_DUPLICATES, B_TYPE_ZSTRING}})), 0);
    BtrSetLockTimeout(300);
  }
  void TearDown() override {
    Tx(B_RESET);
    BtrSetLockTimeout(5000);
  }
  reclink::test::TempDir dir_;
  std::string path_;
};

TEST_F(ContentionTest, WaitThenFileOrRecordInUse) {
  {
    BtrFile f;
    ASSERT_EQ(f.Open(path_), 0);
    ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "seed"}})), 0);
  }
  Channel locked, release;
  const pid_t child = Spawn([&] {
    BtrFile f;
    if (f.Open(path_) != 0 || Tx(B_BEGIN_TRAN) != 0) return 1;
    if (f.Insert(MakeRecord(kLen, {{0, "pending"}})) != 0) return 2;
    locked.Send();
    release.Wait();
    return Tx(B_END_TRAN) == 0 ? 0 : 3;
  });
  locked.Wait();
  BtrFile f;
  f.recordLength = kLen;
  ASSERT_EQ(f.Open(path_), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, "mine"}})), B_FILE_INUSE);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
  // Reading goes on, and sees only what was committed.
  ASSERT_EQ(f.Get(B_GET_LAST, 0), 0);
  EXPECT_EQ(f.Field(0), "seed");
  EXPECT_EQ(f.Update(MakeRecord(kLen, {{0, "seed"}, {12, "x"}})), B_RECORD_INUSE);
  EXPECT_EQ(f.Delete(), B_RECORD_INUSE);
  // A transaction of ours meets the lock on its first access.
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(f.Get(B_GET_FIRST, 0), B_FILE_INUSE);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  release.Send();
  ASSERT_EQ(Join(child), 0);
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, "mine"}})), 0);
  EXPECT_EQ(f.Get(B_GET_EQUAL, 0, "pending"), 0);
}

TEST_F(ContentionTest, RecordChangedByAnotherProcessGivesConflict) {
  {
    BtrFile f;
    ASSERT_EQ(f.Open(path_), 0);
    ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "rec"}, {12, "v0"}})), 0);
  }
  Channel go;
  const pid_t child = Spawn([&] {
    go.Wait();
    BtrFile f;
    f.recordLength = kLen;
    if (f.Open(path_) != 0 || f.Get(B_GET_EQUAL, 0, "rec") != 0) return 1;
    return f.Update(MakeRecord(kLen, {{0, "rec"}, {12, "child"}})) == 0 ? 0 : 2;
  });
  BtrFile f;
  f.recordLength = kLen;
  ASSERT_EQ(f.Open(path_), 0);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "rec"), 0);
  go.Send();
  ASSERT_EQ(Join(child), 0);
  EXPECT_EQ(f.Update(MakeRecord(kLen, {{0, "rec"}, {12, "parent"}})), B_CONFLICT);
  EXPECT_EQ(f.Delete(), B_CONFLICT);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "rec"), 0);
  EXPECT_EQ(f.Field(12), "child");
  EXPECT_EQ(f.Update(MakeRecord(kLen, {{0, "rec"}, {12, "parent"}})), 0);
}

TEST_F(ContentionTest, ReadsSeeOtherCommitsAtOnceAndQuietReadersLetGo) {
  BtrFile f;
  f.recordLength = kLen;
  for (const char* n : {"a", "c"}) {
    Channel go;
    const pid_t child = Spawn([&] {
      go.Wait();
      BtrFile g;
      return g.Open(path_) == 0 && g.Insert(MakeRecord(kLen, {{0, n}})) == 0 ? 0 : 1;
    });
    ASSERT_EQ(f.Open(path_), 0);
    f.Get(B_GET_FIRST, 0);
    go.Send();
    ASSERT_EQ(Join(child), 0);
    // No pause: the very next read sees the other process's commit.
    ASSERT_EQ(f.Get(B_GET_LAST, 0), 0);
    EXPECT_EQ(f.Field(0), n);
  }
  // Reads leave a snapshot behind for the next read; once the reader is
  // quiet it goes, so that commits made after it can be checkpointed.
  Channel go2;
  const pid_t later = Spawn([&] {
    go2.Wait();
    BtrFile g;
    return g.Open(path_) == 0 && g.Insert(MakeRecord(kLen, {{0, "f"}})) == 0 ? 0 : 1;
  });
  ASSERT_EQ(f.Open(path_), 0);  // Spawn closed every file of this process
  ASSERT_EQ(f.Get(B_GET_FIRST, 0), 0);
  ASSERT_EQ(f.Get(B_GET_NEXT, 0), 0);
  go2.Send();
  ASSERT_EQ(Join(later), 0);
  usleep(200 * 1000);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "SELECT count(*) FROM records", nullptr, nullptr, nullptr), SQLITE_OK);
  int logFrames = -1, done = -1;
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &done),
            SQLITE_OK);
  EXPECT_EQ(logFrames, 0);
  sqlite3_close(db);
}

// SQLite marks a WAL index as in use with a read lock on one byte of the
// -shm file (offset 128). A process that has the file open must hold it all
// the time, also after reads, or the next process to open the file resets the
// index under it.
TEST_F(ContentionTest, OpenFileKeepsItsWalIndexInUse) {
  Channel read, done;
  const pid_t child = Spawn([&] {
    BtrFile g;
    g.recordLength = kLen;
    if (g.Open(path_) != 0 || g.Insert(MakeRecord(kLen, {{0, "x"}})) != 0) return 1;
    for (int i = 0; i < 3; ++i) g.Get(B_GET_FIRST, 0);
    read.Send();
    done.Wait();
    return g.Get(B_GET_FIRST, 0) == 0 ? 0 : 2;
  });
  read.Wait();
  const int fd = open((path_ + "-shm").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 128;
  probe.l_len = 1;
  ASSERT_EQ(fcntl(fd, F_GETLK, &probe), 0);
  EXPECT_EQ(probe.l_type, F_RDLCK) << "the reader let go of the WAL index";
  // Closing this descriptor drops only this process's locks, of which it
  // has none.
  close(fd);
  done.Send();
  EXPECT_EQ(Join(child), 0);
}

TEST_F(ContentionTest, ExclusiveOpenAcrossProcesses) {
  Channel opened, done;
  const pid_t child = Spawn([&] {
    BtrFile f;
    if (f.Open(path_, B_MODE_EXCLUSIVE) != 0) return 1;
    opened.Send();
    done.Wait();
    return f.Close();
  });
  opened.Wait();
  BtrFile f;
  EXPECT_EQ(f.Open(path_), B_FILE_INUSE);
  done.Send();
  ASSERT_EQ(Join(child), 0);
  Channel held;
  const pid_t second = Spawn([&] {
    held.Wait();
    BtrFile g;
    return g.Open(path_, B_MODE_EXCLUSIVE) == B_INCOMPATIBLE_MODE ? 0 : 1;
  });
  ASSERT_EQ(f.Open(path_), 0);
  held.Send();
  EXPECT_EQ(Join(second), 0);
}

TEST_F(ContentionTest, TransactionsNeverHandOutOneNumberTwice) {
  constexpr int kProcesses = 3;
  constexpr int kEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([&] {
      BtrSetLockTimeout(5000);
      BtrFile f;
      f.recordLength = kLen;
      if (f.Open(path_) != 0) return 1;
      for (int n = 0; n < kEach;) {
        if (Tx(B_BEGIN_TRAN) != 0) return 2;
        // Read the highest number, write the next: only safe if nobody
        // else can do the same in between.
        int st = f.Get(B_GET_LAST, 0);
        long next = 1;
        if (st == 0) next = std::stol(f.Field(0)) + 1;
        if (st == 0 || st == B_END_OF_FILE) {
          char number[24];
          std::snprintf(number, sizeof number, "%010ld", next);
          st = f.Insert(MakeRecord(kLen, {{0, std::string(number, 10)}}));
        }
        if (st == B_FILE_INUSE || st == B_RECORD_INUSE) {
          Tx(B_ABORT_TRAN);
          continue;
        }
        if (st != 0) return 10 + st;
        if (Tx(B_END_TRAN) != 0) return 3;
        ++n;
      }
      return 0;
    }));
  }
  for (pid_t c : children) EXPECT_EQ(Join(c), 0);
  BtrFile f;
  f.recordLength = kLen;
  ASSERT_EQ(f.Open(path_), 0);
  std::vector<long> numbers;
  for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
    numbers.push_back(std::stol(f.Field(0)));
  }
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kProcesses * kEach));
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<long>(i + 1));
}

}  // namespace
}  // namespace recman_test
