// The server restarted under the workstations: each call meets a status,
// never a hang or a crash, the next reconnects, nothing that was stored is
// lost, a record lock asked for again is held again, and End of a
// transaction the server lost keeps nothing of it. Runs alone: the restart
// would fail every other test of the server at that moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "reclink/recman_check.h"
#include "server_fixture.h"
#include "support/child_process.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLockedGetEqual = static_cast<uint16_t>(B_GET_EQUAL) + static_cast<uint16_t>(B_SINGLE_NOWAIT_LOCK);

class RestartTest : public ServerTest {
 protected:
  void SetUp() override {
    // After an earlier test's restart the process's first Create meets the
    // broken connection (95): a throwaway Create makes it again.
    if (!TestServer().empty()) CreateFile(Workstation("warm-up").file("WARM.BTR"), PatientSpec());
    ServerTest::SetUp();
    if (IsSkipped()) return;
    const char* ctl = std::getenv("RECLINK_TEST_SERVER_CTL");
    if (ctl == nullptr || *ctl == '\0') GTEST_SKIP() << "the test server's pg_ctl is unknown";
    ctl_ = ctl;
  }
  void Restart() { ASSERT_EQ(std::system((ctl_ + " -m fast -w -s restart").c_str()), 0); }
  // call, again while the connection is being made anew (95, 96).
  static int AfterReconnect(const std::function<int()>& call) {
    int st = call();
    for (int i = 0; i < 5 && (st == B_SESSION_NO_LONGER_VALID || st == B_COMMUNICATIONS_ERROR); ++i) st = call();
    return st;
  }
  std::string ctl_;  // the test server's pg_ctl command
};

// Adds records named args[1]-<n> to the file at args[0], each on its own
// (durable when the Insert returns 0), until 50 more are stored after the
// first failure, reporting every failure's status; then the names it
// stored. Gives up after 20 seconds.
RECLINK_CHILD_ROLE(InsertThroughRestart) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("started");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string stored = "stored";
  for (int n = 0, after = -1; after < 50 && std::chrono::steady_clock::now() < deadline; ++n) {
    const std::string name = args[1] + "-" + std::to_string(n);
    const int st = f.Insert(MakeRecord(kLen, {{0, name}}));
    if (st != 0) SendToParent("failed " + std::to_string(st));
    if (st == 0) stored += " " + name;
    if (st != 0 && after < 0) after = 0;
    if (st == 0 && after >= 0) ++after;
  }
  SendToParent(stored);
  return 0;
}

// Another workstation: opens args[0], then for each line from the parent
// tries a no-wait lock on the first record, 10, and an Update of it, and
// answers with both statuses.
RECLINK_CHILD_ROLE(TryTheFirstRecord) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("open");
  while (ReceiveFromParent()) {
    const int lock = f.Get(kLockedGetEqual, 0, Number(10));
    int update = -1;
    if (f.Get(B_GET_EQUAL, 0, Number(10)) == 0) update = f.Update(MakeRecord(kLen, {{0, Number(10)}, {20, "child"}}));
    if (lock == 0) f.Call(B_UNLOCK, 0);
    SendToParent(std::to_string(lock) + " " + std::to_string(update));
  }
  return 0;
}

// Workstations busy when the server restarts: three adding records, one
// holding a record lock, one in the middle of a walk that reads ahead, one
// in a transaction. Each adding call meets a status, never a hang or a
// crash, and nothing stored is lost. End of the transaction gives 95 and
// keeps no part of it, on the server or in a file of the workstation. The
// lock, asked for again, is held again on the new connection and keeps the
// other workstation out. The walk never hands out the rows fetched before:
// it goes on from where it was, every record once and in order, seeing a
// record inserted after the restart.
TEST_F(RestartTest, UnderLoadCallsGiveStatusesThenLocksAndWalksGoOnLosingNothing) {
  BtrFile walker(kLen), locker(kLen), other(kLen);
  ASSERT_EQ(walker.Open(a_->file(kPatients)), 0);
  for (long n = 1; n <= 40; ++n) ASSERT_EQ(walker.Insert(MakeRecord(kLen, {{0, Number(n * 10)}})), 0);
  ChildProcess rival("TryTheFirstRecord", {b_->file(kPatients)});
  ASSERT_EQ(rival.Receive(), "open");
  std::vector<std::string> seen;
  for (int st = walker.Get(B_GET_FIRST, 0); st == 0; st = walker.Get(B_GET_NEXT, 0)) {
    seen.push_back(walker.Field(0));
    if (seen.size() == 20) break;
  }
  ASSERT_EQ(locker.Open(a_->file(kPatients)), 0);
  ASSERT_EQ(locker.Get(kLockedGetEqual, 0, Number(10)), 0);
  // The adding workstations write to a file of their own, beside the walk.
  const std::string load = a_->file("LOAD.BTR");
  ASSERT_EQ(CreateFile(load, PatientSpec()), 0);
  constexpr int kStations = 3;
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int s = 0; s < kStations; ++s) {
    stations.push_back(std::make_unique<ChildProcess>("InsertThroughRestart",
                                                      std::vector<std::string>{load, "w" + std::to_string(s)}));
    ASSERT_EQ(stations.back()->Receive(), "started");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  TempDir local;
  BtrFile here(kLen);
  ASSERT_EQ(CreateFile(local.file("LOCAL.BTR"), PatientSpec()), 0);
  ASSERT_EQ(here.Open(local.file("LOCAL.BTR")), 0);
  ASSERT_EQ(other.Open(b_->file(kPatients)), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(here.Insert(MakeRecord(kLen, {{0, "local"}})), 0);
  ASSERT_EQ(other.Insert(MakeRecord(kLen, {{0, "remote"}})), 0);

  Restart();
  EXPECT_EQ(Tx(B_END_TRAN), B_SESSION_NO_LONGER_VALID);
  EXPECT_EQ(AfterReconnect([&] { return other.Get(B_GET_EQUAL, 0, "remote"); }), B_KEY_VALUE_NOT_FOUND);
  EXPECT_EQ(here.Get(B_GET_EQUAL, 0, "local"), B_KEY_VALUE_NOT_FOUND);
  ASSERT_EQ(AfterReconnect([&] { return locker.Get(kLockedGetEqual, 0, Number(10)); }), 0);
  std::optional<std::string> answer;
  for (int i = 0; i < 3 && (!answer || answer->find("95") != std::string::npos); ++i) {
    rival.Send("try");  // the other's connection broke too: it may need another try
    answer = rival.Receive();
  }
  EXPECT_EQ(answer, "84 84") << "held after the restart";
  ASSERT_EQ(other.Insert(MakeRecord(kLen, {{0, Number(215)}})), 0);
  for (int st = AfterReconnect([&] { return walker.Get(B_GET_NEXT, 0); }); st == 0; st = walker.Get(B_GET_NEXT, 0)) {
    seen.push_back(walker.Field(0));
  }
  std::vector<std::string> expected;
  for (long n = 1; n <= 40; ++n) expected.push_back(Number(n * 10));
  expected.insert(expected.begin() + 21, Number(215));
  EXPECT_EQ(seen, expected);

  std::vector<std::string> stored;  // what every adding station stored
  for (int s = 0; s < kStations; ++s) {
    bool noticed = false, finished = false;
    for (std::optional<std::string> line; (line = stations[s]->Receive());) {
      std::istringstream words(*line);
      std::string what;
      words >> what;
      if (what == "stored") {
        finished = true;
        for (std::string name; words >> name;) stored.push_back(name);
      } else {
        noticed = true;
        int st = 0;
        words >> st;
        // A broken connection, or none to be had while the server restarts.
        EXPECT_TRUE(st == B_SESSION_NO_LONGER_VALID || st == B_COMMUNICATIONS_ERROR) << *line;
      }
    }
    EXPECT_EQ(stations[s]->Wait(), 0);
    ASSERT_TRUE(finished) << "station " << s << " did not finish: a hang or a crash";
    EXPECT_TRUE(noticed) << "station " << s << " did not notice the restart";
  }
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(load), 0);
  const std::vector<std::string> found = f.Walk(0);
  for (const std::string& name : stored) EXPECT_EQ(std::ranges::count(found, name), 1) << name << " was lost";
}

// The server's processes stopped, not gone (a frozen machine, a server
// swapped out): its sockets stay open and answer nothing. A call gives up
// after its lock wait and the configuration's timeout, with 95, instead of
// waiting for the server to come back; once it has, the next call connects
// again.
TEST_F(RestartTest, AFrozenServerHoldsACallNoLongerThanItsTimeout) {
  const size_t at = ctl_.find("-D ");
  ASSERT_NE(at, std::string::npos) << ctl_;
  const std::string data = ctl_.substr(at + 3, ctl_.find(' ', at + 3) - at - 3);
  std::ifstream pidFile(data + "/postmaster.pid");
  long postmaster = 0;
  ASSERT_TRUE(pidFile >> postmaster) << data;
  const std::string pids = std::to_string(postmaster);
  auto signal = [&](const char* which) {
    std::system(("pkill -" + std::string(which) + " -P " + pids + "; kill -" + which + " " + pids).c_str());
  };

  const Workstation dir(database_, "timeout = 2\n");
  BtrSetLockTimeout(1000);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(dir.file(kPatients)), 0);
  signal("STOP");
  // Should the call not give up, the server comes back after a while and
  // the time the call took says so.
  std::promise<void> returned;
  std::thread thaw([&, done = returned.get_future()] {
    done.wait_for(std::chrono::seconds(20));
    signal("CONT");
  });
  const auto start = std::chrono::steady_clock::now();
  const int st = f.Get(B_GET_FIRST, 0);
  const auto took = std::chrono::steady_clock::now() - start;
  returned.set_value();
  thaw.join();
  BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  EXPECT_EQ(st, B_SESSION_NO_LONGER_VALID);
  EXPECT_LT(took, std::chrono::seconds(10)) << "the lock wait (1 s) and the timeout (2 s) bound the call";
  EXPECT_NE(std::string(BtrLastReason()).find("did not answer within 3 seconds"), std::string::npos)
      << BtrLastReason();
  EXPECT_EQ(AfterReconnect([&] { return f.Get(B_GET_FIRST, 0); }), B_END_OF_FILE);
}

}  // namespace
}  // namespace reclink::test
