// patients through the library's look-ups, and the demonstration end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli/text_codec.h"
#include "command_test_support.h"
#include "reclink/records/patient.h"

namespace reclink::cli::test {
namespace {

void Register(const std::string& dir, const char* name, const char* kana, bool excluded = false) {
  CPatientDB db((dir + "/").c_str());
  ASSERT_EQ(db.Open(BTR_OPEN_NORMAL), 0);
  char* r = db.GetRecordBuffer();
  std::memset(r, 0, CPatientDB::kRecordLength);
  std::string n, k;
  ASSERT_TRUE(Utf8ToCp932(name, &n));
  ASSERT_TRUE(Utf8ToCp932(kana, &k));
  std::memcpy(r + 21, n.c_str(), n.size());
  std::memcpy(r + 62, k.c_str(), k.size());
  r[156] = excluded ? 1 : 0;
  ASSERT_EQ(db.InsertPatientData(), 0);
}

TEST(PatientsCommand, FindsByNameKanaAndNumber) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  Register(tmp.path(), "佐藤 花子", "サトウ ハナコ");
  Register(tmp.path(), "佐藤 花子", "サトウ ハナコ", true);  // a withdrawn duplicate
  Register(tmp.path(), "佐藤 花子", "サトウ ハナコ");
  Register(tmp.path(), "鈴木 一郎", "スズキ イチロウ");

  Outcome o = Reclink({"patients", tmp.path(), "--name", "佐藤 花子"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("0000000001  佐藤 花子  (サトウ ハナコ)\n"));
  EXPECT_THAT(o.out, HasSubstr("0000000003  佐藤 花子"));
  EXPECT_THAT(o.out, Not(HasSubstr("0000000002")));  // excluded
  EXPECT_THAT(o.out, HasSubstr("2 patients\n"));

  o = Reclink({"patients", tmp.path(), "--kana", "スズキ イチロウ"});
  EXPECT_EQ(o.status, 0);
  EXPECT_THAT(o.out, HasSubstr("0000000004  鈴木 一郎"));

  o = Reclink({"patients", tmp.path(), "--number", "4"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "0000000004  鈴木 一郎  (スズキ イチロウ)\n");

  o = Reclink({"patients", tmp.path()});
  EXPECT_THAT(o.out, HasSubstr("0000000002  佐藤 花子  (サトウ ハナコ)  [excluded]\n"));
  EXPECT_THAT(o.out, HasSubstr("4 patients\n"));

  EXPECT_EQ(Reclink({"patients", tmp.path(), "--name", "佐藤"}).status, 1);  // a prefix only
  EXPECT_EQ(Reclink({"patients", tmp.path(), "--number", "9"}).status, 1);
  EXPECT_EQ(Reclink({"patients", tmp.path(), "--name", "a", "--kana", "b"}).status, 2);
  // Code page 932 has no emoji.
  EXPECT_EQ(Reclink({"patients", tmp.path(), "--name", "\xf0\x9f\x98\x80"}).status, 2);
  EXPECT_EQ(Reclink({"patients", tmp.file("nowhere")}).status, 1);

  // The look-ups read fields at the patient file's offsets: another layout is refused.
  Spit(tmp.file("p.des"), "record=300 key=1\nposition=1 length=21 duplicates=y type=zstring\n");
  ASSERT_EQ(Reclink({"create", tmp.file("PATIENT1.BTR"), tmp.file("p.des"), "--force"}).status, 0);
  o = Reclink({"patients", tmp.path()});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "reclink patients: " + tmp.file("PATIENT1.BTR") +
                       " does not have the layout of the patient file; record length 300, the "
                       "database's PATIENT1.BTR has 3600; 1 key, the database's PATIENT1.BTR "
                       "has 4\n");
}

TEST(DemoCommand, RunsTheDayToTheEndAndRefusesAUsedDirectory) {
  TempDir tmp;
  std::string dir = tmp.file("clinic");
  Outcome o = Reclink({"demo", dir});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_THAT(o.out, Not(HasSubstr("!! unexpected")));
  EXPECT_THAT(o.out, HasSubstr("REPORT_DB BO_GETEQ Status = 3"));
  EXPECT_THAT(o.out, HasSubstr("PATIENT1.BTR          3 records"));
  EXPECT_THAT(o.out, HasSubstr("1 message box shown"));
  EXPECT_THAT(o.out, HasSubstr("The day went as expected."));

  // What the demo leaves behind is a sound database that the other commands read.
  o = Reclink({"patients", dir, "--kana", "ヤマダ タロウ"});
  EXPECT_THAT(o.out, HasSubstr("0000000001  山田 太郎"));

  o = Reclink({"demo", dir});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("not an empty directory"));
}

// The demonstration's database moved onto the server is every
// workstation's: a copy of its directory, less the old records the move set
// aside, lists the same patients through the record classes (on Windows
// through their short paths).
TEST(ToServerCommand, ACopyOfTheMovedDirectoryIsASecondWorkstations) {
  const char* server = std::getenv("RECLINK_TEST_SERVER");
  if (server == nullptr || *server == '\0') GTEST_SKIP() << "no test server: scripts/test starts one";
  TempDir tmp;
  const std::string db = tmp.file("db"), second = tmp.file("second");
  ASSERT_EQ(Reclink({"demo", db}).status, 0);
  const Outcome before = Reclink({"patients", db});
  ASSERT_EQ(before.status, 0) << before.err;
  const std::string database = "moved-demo-" + std::to_string(std::random_device{}());
  const Outcome moved = Reclink({"to-server", db, server, database});
  ASSERT_EQ(moved.status, 0) << moved.err;
  std::filesystem::create_directory(second);
  for (const auto& entry : std::filesystem::directory_iterator(db)) {
    if (entry.path().filename() != "before-server") std::filesystem::copy(entry.path(), second / entry.path().filename());
  }
  const Outcome after = Reclink({"patients", second});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out, before.out);
}

}  // namespace
}  // namespace reclink::cli::test
