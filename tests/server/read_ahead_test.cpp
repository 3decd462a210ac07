// Walks outside transactions that read ahead on the server: a workstation
// hands out rows it fetched in an earlier call only while no notice of a
// commit to the file came in, the notice channel stands, and the rows are
// young; writes keep their version check whatever a walk read.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "server_fixture.h"
#include "sql.h"
#include "support/child_process.h"

namespace reclink::test {
namespace {

using Clock = std::chrono::steady_clock;
// How old rows fetched ahead may be when handed out.
constexpr auto kAgeLimit = std::chrono::milliseconds(50);
constexpr auto kBound = std::chrono::seconds(10);

// Another workstation: changes the file at args[0] on the parent's word
// ("insert N", "update N text") and answers "done" or the status.
RECLINK_CHILD_ROLE(ChangeOnRequest) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("open");
  while (const auto line = ReceiveFromParent()) {
    const std::string verb = line->substr(0, line->find(' '));
    const long n = std::stol(line->substr(verb.size() + 1));
    int st = 0;
    if (verb == "insert") {
      st = f.Insert(MakeRecord(kLen, {{0, Number(n)}}));
    } else if ((st = f.Get(B_GET_EQUAL, 0, Number(n))) == 0) {
      st = f.Update(MakeRecord(kLen, {{0, Number(n)}, {11, line->substr(line->rfind(' ') + 1)}}));
    }
    SendToParent(st == 0 ? "done" : std::to_string(st));
  }
  return 0;
}

class ReadAheadTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    BtrFile f(kLen);
    ASSERT_EQ(f.Open(a_->file(kPatients)), 0);
    for (long n = 10; n <= 200; n += 10) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(n)}})), 0);
    file_ = sql_.Value("SELECT id FROM recman.files WHERE database = '" + database_ + "'::bytea");
    ASSERT_FALSE(file_.empty());
    otherDir_.emplace(database_, "read-ahead = off\n");
    other_ = std::make_unique<ChildProcess>("ChangeOnRequest", std::vector<std::string>{otherDir_->file(kPatients)});
    ASSERT_EQ(other_->Receive(), "open");
    ASSERT_EQ(walker_.Open(a_->file(kPatients)), 0);
  }
  // Writes note into record n straight on the server, behind every
  // workstation's back and without a notice, as if it were still on its way.
  void ChangeOnTheServer(long n, const std::string& note) {
    sql_("UPDATE recman.r" + file_ + " SET ver = ver + 1, data = overlay(data placing $1::bytea from 12) "
         "WHERE substring(data from 1 for 10) = $2::bytea", {note, Number(n)});
  }
  // The channel on which the server tells of commits to the patient file.
  std::string NoticeChannel() const { return "recman_file_" + file_; }
  // The other workstation's answer to request.
  void Ask(const std::string& request) {
    ASSERT_TRUE(other_->Send(request));
    ASSERT_EQ(other_->Receive(), "done") << request;
  }

  Sql sql_{TestServer()};
  std::string file_;  // the patient file's number on the server
  // The other workstation: it reads without read-ahead, so that the
  // walker's process is the only one listening on the file.
  std::optional<Workstation> otherDir_;
  std::unique_ptr<ChildProcess> other_;
  BtrFile walker_{kLen};  // the walk's workstation, this process
};

// Another workstation changes the record just ahead of the walker. Its
// commit's notice reaches a listener only once the change can be read, and
// it is the notice, not the age limit, that ends the rows the walker
// fetched before: its next call shows the change while they are young. The
// notice may reach the walker's listener a moment after this test's own
// connection: a try that got the row fetched before the change, or that
// came too late to tell, is tried again.
TEST_F(ReadAheadTest, ANoticeEndsRowsFetchedAheadBeforeTheyAge) {
  sql_.Value("LISTEN " + NoticeChannel());
  bool heard = false;
  for (int n = 1; n <= 20 && !heard; ++n) {
    const std::string note = "try" + std::to_string(n);
    ASSERT_EQ(walker_.Get(B_GET_FIRST, 0), 0);
    const auto fetched = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);  // 20, and the rows after it fetched ahead
    Ask("update 30 " + note);
    ASSERT_TRUE(sql_.AwaitNotice(kBound)) << "no notice of the other workstation's commit within the bound";
    EXPECT_EQ(sql_.Value("SELECT count(*) FROM recman.r" + file_ + " WHERE position('" + note +
                         "' in encode(data, 'escape')) > 0"),
              "1") << "the notice came before the change could be read";
    const auto asked = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
    heard = walker_.Field(11) == note && asked - fetched < kAgeLimit;
  }
  EXPECT_TRUE(heard) << "in 20 tries no notice made the walker ask the server for rows younger than the age limit";
}

// The channel gone (the server ended it), nothing tells of commits: every
// call asks the server, until a new channel listens again.
TEST_F(ReadAheadTest, WithTheNoticeChannelLostEveryCallAsksTheServer) {
  ASSERT_EQ(walker_.Get(B_GET_FIRST, 0), 0);
  ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);  // 20, and the rows after it fetched ahead
  // Returns once the listener's process has ended, its last words sent.
  EXPECT_EQ(sql_.Value("SELECT count(pg_terminate_backend(pid, 10000)) FROM pg_stat_activity "
                       "WHERE query ~ '^LISTEN " + NoticeChannel() + "(;|$)'"),
            "1");
  Ask("update 30 unheard");
  ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(walker_.Field(11), "unheard") << "a row fetched ahead was handed out with the channel lost";
  // The call found it lost and listened anew: the walk goes on, every
  // record in order, and changes after it are seen.
  Ask("insert 45");
  std::vector<std::string> rest, expected{Number(40), Number(45)};
  for (long n = 50; n <= 200; n += 10) expected.push_back(Number(n));
  for (int st = walker_.Get(B_GET_NEXT, 0); st == 0; st = walker_.Get(B_GET_NEXT, 0)) rest.push_back(walker_.Field(0));
  EXPECT_EQ(rest, expected);
}

// A row fetched ahead that another workstation changed before the walker
// heard of it (here: changed without a notice, as if it were still on its
// way) is handed out as fetched while young; an Update of it then gives
// the conflict status and loses nothing. With read-ahead off in the
// directory's configuration, every call asks the server and sees it.
TEST_F(ReadAheadTest, AnUpdateOfARowReadAheadThatAnotherChangedGivesTheConflictStatus) {
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on ? "read-ahead on" : "read-ahead off");
    const Workstation dir(database_, on ? "read-ahead = on\n" : "read-ahead = off\n");
    BtrFile walker(kLen);
    ASSERT_EQ(walker.Open(dir.file(kPatients)), 0);
    ASSERT_EQ(walker.Get(B_GET_EQUAL, 0, Number(10)), 0);
    const auto fetched = Clock::now();
    ASSERT_EQ(walker.Get(B_GET_NEXT, 0), 0);
    const std::string note = on ? "elsewhere" : "elsewhere2";
    ChangeOnTheServer(30, note);
    const auto asked = Clock::now();
    ASSERT_EQ(walker.Get(B_GET_NEXT, 0), 0);
    ASSERT_EQ(walker.Field(0), Number(30));
    if (walker.Field(11) == note) {
      EXPECT_EQ(walker.Update(MakeRecord(kLen, {{0, Number(30)}, {11, "walker"}})), 0);
      continue;
    }
    EXPECT_TRUE(on) << "with read-ahead off a call handed out a row fetched in an earlier one";
    EXPECT_LT(asked - fetched, kAgeLimit) << "a row fetched ahead was handed out past the age limit";
    EXPECT_EQ(walker.Update(MakeRecord(kLen, {{0, Number(30)}, {11, "walker"}})), B_CONFLICT);
    ASSERT_EQ(walker.Get(B_GET_EQUAL, 0, Number(30)), 0);
    EXPECT_EQ(walker.Field(11), note) << "the other workstation's change was lost";
  }
}

}  // namespace
}  // namespace reclink::test
