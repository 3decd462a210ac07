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
// ("insert N", "update N text", "delete N") and answers "done" or the status.
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
      st = verb == "delete" ? f.Delete() : f.Update(MakeRecord(kLen, {{0, Number(n)}, {11, line->substr(line->rfind(' ') + 1)}}));
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
  }
  // Opens the walker's file and goes to the record after 10: the rows after
  // it are fetched ahead then, at fetched_.
  void StartWalk() {
    ASSERT_EQ(walker_.Open(a_->file(kPatients)), 0);
    ASSERT_EQ(walker_.Get(B_GET_FIRST, 0), 0);
    fetched_ = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
    ASSERT_EQ(walker_.Field(0), Number(20));
  }
  // The other workstation: it reads without read-ahead, so that the
  // walker's process is the only one listening on the file.
  std::unique_ptr<ChildProcess> Other() {
    otherDir_.emplace(database_, "read-ahead = off\n");
    auto other = std::make_unique<ChildProcess>("ChangeOnRequest", std::vector<std::string>{otherDir_->file(kPatients)});
    EXPECT_EQ(other->Receive(), "open");
    return other;
  }
  // The numbers from..to, ten apart, as the file holds them.
  static std::vector<std::string> Numbers(long from, long to) {
    std::vector<std::string> out;
    for (long n = from; n <= to; n += 10) out.push_back(Number(n));
    return out;
  }
  // The numbers of the records the walker's Get Next gives until it fails.
  std::vector<std::string> RestOfWalk() {
    std::vector<std::string> rest;
    for (int st = walker_.Get(B_GET_NEXT, 0); st == 0; st = walker_.Get(B_GET_NEXT, 0)) rest.push_back(walker_.Field(0));
    return rest;
  }
  // Writes note into record n straight on the server, behind every
  // workstation's back: in one commit with that commit's notice, as the
  // engine sends them, when notify; without one (as if it were still on its
  // way) otherwise.
  void ChangeOnTheServer(long n, const std::string& note, bool notify) {
    const std::string update = "UPDATE recman.r" + file_ + " SET ver = ver + 1, data = overlay(data placing '" +
                               note + "'::bytea from 12) WHERE substring(data from 1 for 10) = '" + Number(n) + "'";
    sql_.Value(notify ? "WITH changed AS (" + update + " RETURNING 1) SELECT pg_notify('" + NoticeChannel() +
                            "', '') FROM changed"
                      : update);
  }
  // The channel on which the server tells of commits to the patient file.
  std::string NoticeChannel() const { return "recman_file_" + file_; }
  // The other workstation's answer to request.
  static void Ask(ChildProcess& other, const std::string& request) {
    ASSERT_TRUE(other.Send(request));
    ASSERT_EQ(other.Receive(), "done") << request;
  }

  Sql sql_{TestServer()};
  std::string file_;  // the patient file's number on the server
  std::optional<Workstation> otherDir_;  // the other workstation's directory
  BtrFile walker_{kLen};                 // the walk's workstation, this process
  Clock::time_point fetched_;            // when the walker's rows were last fetched
};

// The other workstation inserts, updates and deletes just ahead of the
// walker. Each commit's notice reaches a listener only once the change can
// be read, and the walker's next call shows it: rows fetched before it are
// handed out only while younger than the age limit, and in practice not
// at all, its own notice being as quick as the test's.
TEST_F(ReadAheadTest, AWalkerSeesChangesAheadOfItOnceTheirNoticesArrive) {
  sql_.Value("LISTEN " + NoticeChannel());
  const auto other = Other();
  StartWalk();
  const struct {
    const char* request;
    const char* visible;  // a query that finds the change once committed
    long next;            // the record the walker's next Get Next gives
    const char* note;     // its note
  } changes[] = {
      {"insert 25", "SELECT count(*) FROM recman.r%s WHERE substring(data from 1 for 10) = '0000000025'", 25, ""},
      {"update 30 changed", "SELECT count(*) FROM recman.r%s WHERE position('changed' in encode(data, 'escape')) > 0",
       30, "changed"},
      {"delete 50", "SELECT 1 - count(*) FROM recman.r%s WHERE substring(data from 1 for 10) = '0000000050'", 60, ""},
  };
  for (const auto& c : changes) {
    Ask(*other, c.request);
    ASSERT_TRUE(sql_.AwaitNotice(kBound)) << c.request << ": no notice within the bound";
    char query[200];
    std::snprintf(query, sizeof query, c.visible, file_.c_str());
    EXPECT_EQ(sql_.Value(query), "1") << c.request << ": its notice came before the change could be read";
    const auto asked = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
    if (walker_.Field(0) != Number(c.next) || walker_.Field(11) != c.note) {
      EXPECT_LT(asked - fetched_, kAgeLimit) << c.request << ": a row fetched ahead was handed out after the change's "
                                             << "notice and past the age limit: " << walker_.Field(0);
      return;
    }
    if (c.next == 30) {
      ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
      EXPECT_EQ(walker_.Field(0), Number(40));
    }
    fetched_ = asked;
  }
  EXPECT_EQ(RestOfWalk(), Numbers(70, 200));
}

// It is the notice, not the age limit, that ends rows fetched ahead: a
// change committed with its notice a moment after the walker fetched shows
// in the walker's next call. The notice may reach the walker's listener a
// moment after this test's own connection: a try that got the row fetched
// before the change, or that came too late to tell, is tried again.
TEST_F(ReadAheadTest, ANoticeEndsRowsFetchedAheadBeforeTheyAge) {
  sql_.Value("LISTEN " + NoticeChannel());
  ASSERT_EQ(walker_.Open(a_->file(kPatients)), 0);
  bool heard = false;
  for (int n = 1; n <= 20 && !heard; ++n) {
    const std::string note = "try" + std::to_string(n);
    ASSERT_EQ(walker_.Get(B_GET_FIRST, 0), 0);
    const auto fetched = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);  // 20, and the rows after it fetched ahead
    ChangeOnTheServer(30, note, true);
    ASSERT_TRUE(sql_.AwaitNotice(kBound)) << "the test's own notice did not come";
    const auto asked = Clock::now();
    ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
    heard = walker_.Field(11) == note && asked - fetched < kAgeLimit;
  }
  EXPECT_TRUE(heard) << "in 20 tries no notice made the walker ask the server for rows younger than the age limit";
}

// The channel gone (the server ended it), nothing tells of commits: every
// call asks the server, until a new channel listens again.
TEST_F(ReadAheadTest, WithTheNoticeChannelLostEveryCallAsksTheServer) {
  const auto other = Other();
  StartWalk();
  // Returns once the listener's process has ended, its last words sent.
  EXPECT_EQ(sql_.Value("SELECT count(pg_terminate_backend(pid, 10000)) FROM pg_stat_activity "
                       "WHERE query ~ '^LISTEN " + NoticeChannel() + "(;|$)'"),
            "1");
  Ask(*other, "update 30 unheard");
  ASSERT_EQ(walker_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(walker_.Field(11), "unheard") << "a row fetched ahead was handed out with the channel lost";
  // The call found it lost and listened anew: the walk goes on, every
  // record in order, and changes after it are seen.
  Ask(*other, "insert 45");
  std::vector<std::string> expected = Numbers(50, 200);
  expected.insert(expected.begin(), {Number(40), Number(45)});
  EXPECT_EQ(RestOfWalk(), expected);
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
    ChangeOnTheServer(30, note, false);
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
