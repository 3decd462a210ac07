// The server restarted while workstations write: each call meets a status,
// never a hang or a crash, the next reconnects, and nothing that was
// stored is lost. Runs alone: the restart would fail every other test of
// the server at that moment.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server_fixture.h"
#include "support/child_process.h"

namespace reclink::test {
namespace {


// Adds records named args[1]-<n> to the file at args[0], each on its own
// (durable when the Insert returns 0), until 50 more are stored after the
// first failure, reporting every failure. Gives up after 20 seconds.
RECLINK_CHILD_ROLE(InsertThroughRestart) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("started");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  long n = 0;
  for (int after = -1; after < 50 && std::chrono::steady_clock::now() < deadline; ++n) {
    const std::string name = args[1] + "-" + std::to_string(n);
    const int st = f.Insert(MakeRecord(kLen, {{0, name}}));
    if (st != 0) SendToParent("failed " + name + " " + std::to_string(st));
    if (st != 0 && after < 0) after = 0;
    if (st == 0 && after >= 0) ++after;
  }
  SendToParent("tried " + std::to_string(n));
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
}  // namespace reclink::test
