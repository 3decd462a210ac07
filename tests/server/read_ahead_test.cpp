// Walks outside transactions that read ahead on the server: a workstation
// hands out rows it fetched in an earlier call only while they are young,
// and writes keep their version check whatever a walk read.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "server_fixture.h"
#include "sql.h"

namespace reclink::test {
namespace {

using Clock = std::chrono::steady_clock;
// How old rows fetched ahead may be when handed out.
constexpr auto kAgeLimit = std::chrono::milliseconds(50);

// A row fetched ahead that another workstation changed before the walker
// heard of it (here: changed straight on the server, behind every
// workstation's back and without a notice, as if the notice were still on
// its way) is handed out as fetched while young; an Update of it then gives
// the conflict status and loses nothing. With read-ahead off in the
// directory's configuration, every call asks the server and sees it.
TEST_F(ServerTest, AnUpdateOfARowReadAheadThatAnotherChangedGivesTheConflictStatus) {
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(a_->file(kPatients)), 0);
  for (long n = 10; n <= 200; n += 10) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(n)}})), 0);
  Sql sql(TestServer());
  const std::string file = sql.Value("SELECT id FROM recman.files WHERE database = '" + database_ + "'::bytea");
  ASSERT_FALSE(file.empty());
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on ? "read-ahead on" : "read-ahead off");
    const Workstation dir(database_, on ? "read-ahead = on\n" : "read-ahead = off\n");
    BtrFile walker(kLen);
    ASSERT_EQ(walker.Open(dir.file(kPatients)), 0);
    ASSERT_EQ(walker.Get(B_GET_EQUAL, 0, Number(10)), 0);
    const auto fetched = Clock::now();
    ASSERT_EQ(walker.Get(B_GET_NEXT, 0), 0);
    const std::string note = on ? "elsewhere" : "elsewhere2";
    sql("UPDATE recman.r" + file + " SET ver = ver + 1, data = overlay(data placing $1::bytea from 12) "
        "WHERE substring(data from 1 for 10) = $2::bytea", {note, Number(30)});
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
