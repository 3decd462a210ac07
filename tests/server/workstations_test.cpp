// Several processes as workstations on one server: each reaches the
// database through a directory of its own (as workstations mount the
// share under different names), whose configuration names the server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "recman_fixture.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace recman_test {
namespace {

using reclink::test::ChildProcess;

constexpr uint16_t kLen = 64;
constexpr const char* kPatients = "PATIENT1.BTR";

// The patient number, ten digits, is key 0; a note follows.
std::vector<uint8_t> PatientSpec() { return MakeSpec(kLen, 1, {{1, 11, 0}}); }

std::string Number(long n) {
  char text[16];
  std::snprintf(text, sizeof text, "%010ld", n);
  return text;
}

// The test server's connection string, or empty.
std::string TestServer() {
  const char* server = std::getenv("RECLINK_TEST_SERVER");
  return server != nullptr ? server : "";
}

// A workstation's view of the clinic's database: a directory of its own
// whose configuration sends its files to the server, under one database
// name that all workstations share.
class Workstation {
 public:
  explicit Workstation(const std::string& database) {
    std::ofstream(dir_.file("recman-server.conf")) << "# the clinic's server\nserver = " << TestServer()
                                                       << "\ndatabase = " << database << "\n";
  }
  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  reclink::test::TempDir dir_;  // where this workstation mounts the share
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestServer().empty()) GTEST_SKIP() << "no server to test against: scripts/test starts one";
    // A database of this test's own on the shared server.
    database_ = "clinic-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(std::rand());
    a_ = std::make_unique<Workstation>(database_);
    b_ = std::make_unique<Workstation>(database_);
    ASSERT_EQ(CreateFile(a_->file(kPatients), PatientSpec()), 0);
  }
  void TearDown() override { Tx(B_RESET); }

  std::string database_;
  std::unique_ptr<Workstation> a_, b_;
};

// A workstation adds args[1] patients to the file at args[0] as the
// library does: in a transaction, the last number plus one. A lock held
// elsewhere makes it abort and try again, as the numbered gate repeats.
RECLINK_CHILD_ROLE(AddPatients) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  for (int added = 0; added < std::stoi(args[1]);) {
    if (Tx(B_BEGIN_TRAN) != 0) return 2;
    int st = f.Get(B_GET_LAST, 0);
    if (st == 0 || st == B_END_OF_FILE) {
      st = f.Insert(MakeRecord(kLen, {{0, Number(st == 0 ? std::stol(f.Field(0)) + 1 : 1)}, {11, args[0]}}));
    }
    if (st == B_FILE_INUSE || st == B_RECORD_INUSE) {
      Tx(B_ABORT_TRAN);
      continue;
    }
    if (st != 0) return 10 + st;
    if ((st = Tx(B_END_TRAN)) != 0) return 10 + st;
    ++added;
  }
  return 0;
}

TEST_F(ServerTest, WorkstationsNumberPatientsWithoutGapsOrTwins) {
  constexpr int kStations = 4, kEach = 25;
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int s = 0; s < kStations; ++s) {
    const Workstation& w = s % 2 ? *b_ : *a_;
    stations.push_back(std::make_unique<ChildProcess>("AddPatients",
                                                      std::vector<std::string>{w.file(kPatients), std::to_string(kEach)}));
  }
  for (auto& s : stations) EXPECT_EQ(s->Wait(), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(b_->file(kPatients)), 0);
  const std::vector<std::string> numbers = f.Walk(0);
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kStations * kEach));
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], Number(static_cast<long>(i) + 1));
  // Each workstation's own path stands in the records it added: both
  // directories reached the one file.
  std::set<std::string> writers;
  for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) writers.insert(f.Field(11));
  EXPECT_EQ(writers, (std::set<std::string>{a_->file(kPatients), b_->file(kPatients)}));
}

// A workstation that commits one patient, then holds a transaction with a
// second one pending and the file args[1] open exclusively, until killed.
RECLINK_CHILD_ROLE(DieInTransaction) {
  BtrFile f(kLen), other(kLen);
  if (f.Open(args[0]) != 0 || f.Insert(MakeRecord(kLen, {{0, Number(1)}})) != 0) return 1;
  if (other.Open(args[1], B_MODE_EXCLUSIVE) != 0) return 2;
  if (Tx(B_BEGIN_TRAN) != 0 || f.Insert(MakeRecord(kLen, {{0, Number(2)}})) != 0) return 3;
  reclink::test::SendToParent("pending");
  reclink::test::ReceiveFromParent();
  return 0;
}

TEST_F(ServerTest, KilledClientLosesNothingCommittedAndHoldsNothing) {
  const std::string other = a_->file("OWNER.BTR");
  ASSERT_EQ(CreateFile(other, PatientSpec()), 0);
  ChildProcess station("DieInTransaction", {a_->file(kPatients), other});
  ASSERT_EQ(station.Receive(), "pending");
  BtrSetLockTimeout(300);
  BtrFile f(kLen), g(kLen);
  ASSERT_EQ(f.Open(b_->file(kPatients)), 0);
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(3)}})), B_FILE_INUSE) << "the transaction holds the file";
  EXPECT_EQ(g.Open(b_->file("OWNER.BTR")), B_FILE_INUSE) << "opened exclusively elsewhere";
  station.Kill();
  // The server lets go of what the dead client held as soon as its
  // connection is gone.
  BtrSetLockTimeout(5000);
  EXPECT_EQ(g.Open(b_->file("OWNER.BTR"), B_MODE_EXCLUSIVE), 0);
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(3)}})), 0);
  EXPECT_EQ(f.Walk(0), (std::vector<std::string>{Number(1), Number(3)}));
}

// Adds records named args[1]-<n> to the file at args[0], each on its own
// (durable when the Insert returns 0), until 50 more are stored after the
// first failure, reporting every failure. Gives up after 20 seconds.
RECLINK_CHILD_ROLE(InsertThroughRestart) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  reclink::test::SendToParent("started");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  long n = 0;
  for (int after = -1; after < 50 && std::chrono::steady_clock::now() < deadline; ++n) {
    const std::string name = args[1] + "-" + std::to_string(n);
    const int st = f.Insert(MakeRecord(kLen, {{0, name}}));
    if (st != 0) reclink::test::SendToParent("failed " + name + " " + std::to_string(st));
    if (st != 0 && after < 0) after = 0;
    if (st == 0 && after >= 0) ++after;
  }
  reclink::test::SendToParent("tried " + std::to_string(n));
  return 0;
}

TEST_F(ServerTest, RestartUnderLoadGivesStatusesThenReconnects) {
  const char* ctl = std::getenv("RECLINK_TEST_SERVER_CTL");
  if (ctl == nullptr || *ctl == '\0') GTEST_SKIP() << "the test server's pg_ctl is unknown";
  constexpr int kStations = 3;
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int s = 0; s < kStations; ++s) {
    stations.push_back(std::make_unique<ChildProcess>(
        "InsertThroughRestart", std::vector<std::string>{a_->file(kPatients), "w" + std::to_string(s)}));
    ASSERT_EQ(stations.back()->Receive(), "started");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(std::system((std::string(ctl) + " -m fast -w -s restart").c_str()), 0);
  // What each station stored: every name it tried but those that failed.
  std::set<std::string> stored;
  for (int s = 0; s < kStations; ++s) {
    std::set<std::string> failed;
    long tried = -1;
    for (std::optional<std::string> line; (line = stations[s]->Receive());) {
      std::istringstream words(*line);
      std::string what, name;
      int st = 0;
      if (line->starts_with("tried ")) {
        tried = std::stol(line->substr(6));
      } else if (words >> what >> name >> st) {
        failed.insert(name);
        // A broken connection, or none to be had while the server restarts.
        EXPECT_TRUE(st == B_SESSION_NO_LONGER_VALID || st == B_COMMUNICATIONS_ERROR) << *line;
      }
    }
    EXPECT_EQ(stations[s]->Wait(), 0);
    ASSERT_GE(tried, 0) << "station " << s << " did not finish: a hang or a crash";
    EXPECT_FALSE(failed.empty()) << "station " << s << " did not notice the restart";
    for (long n = 0; n < tried; ++n) {
      const std::string name = "w" + std::to_string(s) + "-" + std::to_string(n);
      if (!failed.contains(name)) stored.insert(name);
    }
  }
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(b_->file(kPatients)), 0);
  std::set<std::string> found;
  for (int st = f.Step(B_STEP_FIRST); st == 0; st = f.Step(B_STEP_NEXT)) found.insert(f.Field(0));
  for (const std::string& name : stored) EXPECT_TRUE(found.contains(name)) << name << " was lost";
}

}  // namespace
}  // namespace recman_test
