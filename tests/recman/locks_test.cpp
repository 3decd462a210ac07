// Record locks that take time or another process: waits that would close a
// circle give 78; locks, wait locks, exclusive opens and transactions between
// two processes, and a holder that is killed. The rules between the blocks
// and clients of one process are a call script.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kLen = 16;
constexpr char kClientB[16] = {'c', 'l', 'i', 'e', 'n', 't', ' ', 'B'};

std::string Rec(const std::string& name, const std::string& note = {}) {
  return MakeRecord(kLen, {{0, name}, {8, note}});
}

// Reads the record name through f with a lock bias (0: none).
int Lock(BtrFile& f, const std::string& name, uint16_t bias) {
  return f.Get(static_cast<uint16_t>(B_GET_EQUAL + bias), 0, name);
}

// The milliseconds f's call took.
int64_t Timed(const std::function<int()>& call, int* status) {
  const Clock::time_point start = Clock::now();
  *status = call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("locks.dat");
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
    b1_.client = kClientB;
    for (BtrFile* f : {&a1_, &b1_}) {
      f->recordLength = kLen;
      ASSERT_EQ(f->Open(path_), 0);
    }
    for (const char* name : {"r1", "r2", "r3", "r4"}) ASSERT_EQ(a1_.Insert(Rec(name)), 0);
    BtrSetLockTimeout(200);
  }
  void TearDown() override {
    Tx(B_RESET);
    Tx(B_RESET, kClientB);
    BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  }

  TempDir dir_;
  std::string path_;
  BtrFile a1_, b1_;  // blocks of client A (the process) and of client B
};

// A wait lock on a record another client holds waits until the lock
// timeout, then fails as without waiting. Two clients that would wait for
// each other: the one whose wait closes the circle gets 78 at once, and the
// other gets what it waited for once the first lets go. Circles through a
// record lock and through a transaction's hold on the file alike.
TEST_F(LockTest, WaitsBetweenClientsTimeOutOrGive78) {
  ASSERT_EQ(Lock(a1_, "r1", B_SINGLE_NOWAIT_LOCK), 0);
  int status = 0;
  const int64_t waited = Timed([&] { return Lock(b1_, "r1", B_SINGLE_WAIT_LOCK); }, &status);
  EXPECT_EQ(status, B_RECORD_INUSE);
  EXPECT_GE(waited, 180);
  EXPECT_LT(waited, 3000) << "the timeout is 200 ms";
  ASSERT_EQ(a1_.Call(B_UNLOCK, 0), 0);
  BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  // Time for the other thread to be waiting, with room for a loaded machine.
  const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
  int waiterStatus = -1;
  // B waits in a thread of its own; A's wait for r2 (with bias) closes the
  // circle and gets 78 at once; once A lets go, B's wait ends with want.
  const auto circle = [&](const char* through, const std::function<int()>& bWaits, uint16_t bias,
                          const std::function<int()>& aLetsGo, int want) {
    SCOPED_TRACE(through);
    std::thread waiter([&] { waiterStatus = bWaits(); });
    settle();
    EXPECT_LT(Timed([&] { return Lock(a1_, "r2", bias); }, &status), 1000);
    EXPECT_EQ(status, B_DEADLOCK);
    EXPECT_EQ(aLetsGo(), 0);
    waiter.join();
    EXPECT_EQ(waiterStatus, want);
  };
  // Each holds a record; B waits for A's, then A asks for B's.
  ASSERT_EQ(Lock(a1_, "r1", B_MULTIPLE_NOWAIT_LOCK), 0);
  ASSERT_EQ(Lock(b1_, "r2", B_MULTIPLE_NOWAIT_LOCK), 0);
  circle("two records", [&] { return Lock(b1_, "r1", B_MULTIPLE_WAIT_LOCK); }, B_MULTIPLE_WAIT_LOCK,
         [&] { return a1_.Call(B_UNLOCK, B_UNLOCK_MULTIPLE_ALL); }, 0);
  ASSERT_EQ(b1_.Call(B_UNLOCK, B_UNLOCK_MULTIPLE_ALL), 0);

  // B holds a record; A's transaction holds the file; B's transaction waits
  // for the file, then A asks for B's record.
  ASSERT_EQ(Lock(b1_, "r2", B_SINGLE_NOWAIT_LOCK), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(a1_.Insert(Rec("a")), 0);
  const auto abortA = [] { return Tx(B_ABORT_TRAN); };
  circle("a record and a file", [&] { return Tx(B_BEGIN_TRAN, kClientB) + b1_.Insert(Rec("b")); },
         B_SINGLE_WAIT_LOCK, abortA, 0);
  EXPECT_EQ(Tx(B_END_TRAN, kClientB), 0);
  // The same with B's wait lock on a record of the file A's transaction
  // holds.
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(a1_.Insert(Rec("a")), 0);
  // B's single lock on r2 and a multiple one do not mix.
  circle("a record and a file's record", [&] { return Lock(b1_, "r1", B_MULTIPLE_WAIT_LOCK); },
         B_SINGLE_WAIT_LOCK, abortA, B_INCOMPATIBLE_LOCK_TYPE);
  // Without a circle a wait goes on waiting: B, holding r2, waits for A's
  // r1; A lets r1 go and at once asks for r2 while B sleeps between two
  // tries. B's new single lock then lets r2 go to A.
  ASSERT_EQ(Lock(a1_, "r1", B_MULTIPLE_NOWAIT_LOCK), 0);
  std::thread taker([&] {
    waiterStatus = Lock(b1_, "r1", B_SINGLE_WAIT_LOCK);
    EXPECT_EQ(b1_.Call(B_UNLOCK, 0), 0);
  });
  settle();
  ASSERT_EQ(a1_.Call(B_UNLOCK, B_UNLOCK_MULTIPLE_ALL), 0);
  EXPECT_EQ(Lock(a1_, "r2", B_SINGLE_WAIT_LOCK), 0);
  taker.join();
  EXPECT_EQ(waiterStatus, 0);
}

// A second process on the file: "open", "exclusive" (an exclusive open),
// "close", "lock NAME" (no-wait), "wait NAME" (wait lock), "update NAME",
// "unlock", "begin NAME" (a transaction that inserts NAME), "end"; it
// answers each with the status.
RECLINK_CHILD_ROLE(LockHolder) {
  BtrFile f(kLen);
  while (std::optional<std::string> line = ReceiveFromParent()) {
    const std::string word = line->substr(0, line->find(' '));
    const std::string name = line->substr(line->find(' ') + 1);
    int status = -1;
    if (word == "open") status = f.Open(args[0]);
    if (word == "exclusive") status = f.Open(args[0], B_MODE_EXCLUSIVE);
    if (word == "close") status = f.Close();
    if (word == "lock") status = Lock(f, name, B_SINGLE_NOWAIT_LOCK);
    if (word == "wait") status = Lock(f, name, B_SINGLE_WAIT_LOCK);
    if (word == "update") status = Lock(f, name, 0) + f.Update(Rec(name, "child"));
    if (word == "unlock") status = f.Call(B_UNLOCK, 0);
    if (word == "begin") status = Tx(B_BEGIN_TRAN) + f.Insert(Rec(name));
    if (word == "end") status = Tx(B_END_TRAN);
    SendToParent(std::to_string(status));
  }
  return 0;
}

TEST_F(LockTest, AnotherProcessHoldsLocksUntilItLetsGoOrDies) {
  ChildProcess child("LockHolder", {path_});
  ASSERT_TRUE(child.started());
  auto ask = [&](const std::string& line) {
    EXPECT_TRUE(child.Send(line));
    return child.Receive().value_or("no answer");
  };
  // An exclusive open and any other shut each other out.
  EXPECT_EQ(ask("exclusive"), std::to_string(B_INCOMPATIBLE_MODE));
  ASSERT_EQ(a1_.Close(), 0);
  ASSERT_EQ(b1_.Close(), 0);
  ASSERT_EQ(ask("exclusive"), "0");
  EXPECT_EQ(a1_.Open(path_), B_FILE_INUSE);
  ASSERT_EQ(ask("close"), "0");
  ASSERT_EQ(ask("open"), "0");
  ASSERT_EQ(a1_.Open(path_), 0);
  // Create Index needs the file to itself: the child's open refuses it.
  const std::vector<uint8_t> note = MakeSpec(kLen, 1, {{9, 8, B_KEY_DUPLICATES}});
  const std::string index(note.begin() + sizeof(BtrFileSpec), note.end());  // the key, past the file's part
  EXPECT_EQ(a1_.Write(B_CREATE_INDEX, index, 0), B_INCOMPATIBLE_MODE);
  ASSERT_EQ(b1_.Open(path_), 0);
  ASSERT_EQ(ask("lock r1"), "0");
  EXPECT_EQ(Lock(a1_, "r1", 0), 0) << "reads are never refused";
  EXPECT_EQ(a1_.Update(Rec("r1", "parent")), B_RECORD_INUSE);
  int status = 0;
  EXPECT_GE(Timed([&] { return Lock(a1_, "r1", B_SINGLE_WAIT_LOCK); }, &status), 180);
  EXPECT_EQ(status, B_RECORD_INUSE);

  ASSERT_EQ(ask("unlock"), "0");
  ASSERT_EQ(Lock(a1_, "r1", B_SINGLE_NOWAIT_LOCK), 0);
  EXPECT_EQ(ask("lock r1"), std::to_string(B_RECORD_INUSE));
  EXPECT_EQ(ask("update r1"), std::to_string(B_RECORD_INUSE));
  // The child waits for the lock that this process lets go of meanwhile.
  EXPECT_TRUE(child.Send("wait r1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(a1_.Call(B_UNLOCK, 0), 0);
  EXPECT_EQ(child.Receive(), "0");
  // This process waits in turn while the child changes the record and so
  // lets go of it: each try reads the record anew, and the one that gets
  // the lock gets the change.
  BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  std::thread changer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ask("update r1"), "0");
  });
  EXPECT_EQ(Lock(a1_, "r1", B_SINGLE_WAIT_LOCK), 0);
  changer.join();
  EXPECT_EQ(a1_.Field(8), "child") << "the wait handed out the record as it was before it waited";
  ASSERT_EQ(a1_.Call(B_UNLOCK, 0), 0);
  ASSERT_EQ(ask("lock r1"), "0");
  BtrSetLockTimeout(200);

  // The child's transaction holds the file: a lock request meets it at once,
  // a write and a transaction's first read after waiting, or it waits for
  // the end. Reads go on.
  ASSERT_EQ(ask("begin c1"), "0");
  EXPECT_LT(Timed([&] { return Lock(a1_, "r2", B_SINGLE_NOWAIT_LOCK); }, &status), 100);
  EXPECT_EQ(status, B_FILE_INUSE);
  EXPECT_GE(Timed([&] { return a1_.Insert(Rec("a")); }, &status), 180);
  EXPECT_EQ(status, B_FILE_INUSE);
  ASSERT_EQ(Tx(B_BEGIN_CONCURRENT + B_NO_RETRY), 0);
  EXPECT_LT(Timed([&] { return a1_.Insert(Rec("a")); }, &status), 100) << "a transaction begun not to retry";
  EXPECT_EQ(status, B_FILE_INUSE);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  EXPECT_EQ(Lock(a1_, "c1", 0), B_KEY_VALUE_NOT_FOUND) << "reads see only what was committed";
  ASSERT_EQ(Lock(a1_, "r3", 0), 0);
  EXPECT_EQ(a1_.Update(Rec("r3", "parent")), B_RECORD_INUSE);
  EXPECT_EQ(a1_.Delete(), B_RECORD_INUSE);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(a1_.Get(B_GET_FIRST, 0), B_FILE_INUSE) << "a transaction's first read";
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  // A wait for it goes on trying: it ends soon after the transaction, not
  // at its time-out.
  BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  std::thread ender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(child.Send("end"));
  });
  const int64_t waited = Timed([&] { return Lock(a1_, "r2", B_MULTIPLE_WAIT_LOCK); }, &status);
  EXPECT_GE(waited, 80);
  EXPECT_LT(waited, B_DEFAULT_LOCK_TIMEOUT_MS / 2);
  EXPECT_EQ(status, 0);
  ender.join();
  EXPECT_EQ(child.Receive(), "0");
  EXPECT_EQ(Lock(a1_, "c1", 0), 0) << "what the transaction inserted";
  ASSERT_EQ(a1_.Call(B_UNLOCK, B_UNLOCK_MULTIPLE_ALL), 0);

  // A killed holder's locks die with it.
  EXPECT_EQ(Lock(a1_, "r1", B_SINGLE_NOWAIT_LOCK), B_RECORD_INUSE);
  child.Kill();
  int freed = Lock(a1_, "r1", B_SINGLE_NOWAIT_LOCK);
  // A server lets go of them once it has seen the connection end: at once
  // on this machine, but not within the kill.
  for (int i = 0; OnServer() && freed == B_RECORD_INUSE && i < 500; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    freed = Lock(a1_, "r1", B_SINGLE_NOWAIT_LOCK);
  }
  EXPECT_EQ(freed, 0);
  EXPECT_EQ(a1_.Update(Rec("r1", "parent")), 0);
  ASSERT_EQ(b1_.Close(), 0);
  EXPECT_EQ(a1_.Write(B_CREATE_INDEX, index, 0), 0) << "the killed holder's open went with it";
}

}  // namespace
}  // namespace reclink::test
