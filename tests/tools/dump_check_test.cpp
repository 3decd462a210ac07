// dump in its three formats, patients and check, on real record files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "command_test_support.h"
#include "cli/text_codec.h"
#include "reclink/btrieve.h"
#include "support/btr_file.h"

namespace reclink::cli::test {
namespace {

// A patient record with number, name and kana (UTF-8, stored as code page 932),
// an ID of raw bytes and the exclusion flag.
std::string Patient(const char* number, const char* name, const char* kana, const char* id = "",
                    bool excluded = false) {
  std::string r(3600, '\0');
  std::string n, k;
  EXPECT_TRUE(Utf8ToCp932(name, &n));
  EXPECT_TRUE(Utf8ToCp932(kana, &k));
  r.replace(0, std::strlen(number), number);
  r.replace(21, n.size(), n);
  r.replace(62, k.size(), k);
  r.replace(103, std::strlen(id), id);
  r[156] = excluded ? 1 : 0;
  r[3000] = '\x5a';  // application bytes the utility does not know
  return r;
}

// One patient file read by dump in its three formats and by patients. (The
// order of key 1 and the kana field: the manual's example, which demo.t runs.)
TEST(DumpAndPatientsCommands, ReadOnePatientFileInEveryForm) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  const std::string file = tmp.file("PATIENT1.BTR");
  // A withdrawn duplicate (2) and two more patients of its name.
  InsertAll(file, {Patient("0000000004", "佐藤 花子", "サトウ ハナコ", "\x95\x5c\xa0\x81"),
                   Patient("0000000001", "山田 \"太郎\", Jr", "ヤマダ タロウ"),
                   Patient("0000000002", "佐藤 花子", "サトウ ハナコ", "", true),
                   Patient("0000000003", "佐藤 花子", "サトウ ハナコ")});
  Outcome o = Reclink({"dump", file});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("patient number: 0000000004"));
  EXPECT_LT(o.out.find("patient number: 0000000001"), o.out.find("patient number: 0000000004"));
  // 0x5C as a second byte belongs to its character; bytes that are no text stay visible.
  EXPECT_THAT(o.out, HasSubstr("  patient ID: 表\\xa0\\x81\n"));
  EXPECT_THAT(o.out, HasSubstr("  other bytes: @3000 5a\n"));

  o = Reclink({"dump", file, "--format", "csv"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("1,0000000001,\"山田 \"\"太郎\"\", Jr\",ヤマダ タロウ,,0,"
                               "@3000 5a\r\n"));

  o = Reclink({"dump", file, "--format", "json"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, testing::StartsWith("[\n  {\"record\": 1, \"patient number\": \"0000000001\", "
                                         "\"patient name\": \"山田 \\\"太郎\\\", Jr\""));
  EXPECT_THAT(o.out, testing::EndsWith("\"exclusion flag\": 0, \"other bytes\": [{\"offset\": "
                                       "3000, \"hex\": \"5a\"}]}\n]\n"));

  // The withdrawn duplicate is listed, marked, but passed over by the name
  // and kana look-ups, which list every other patient of the name (in the
  // order they were registered).
  EXPECT_EQ(Reclink({"patients", tmp.path(), "--name", "佐藤 花子"}).out,
            "0000000004  佐藤 花子  (サトウ ハナコ)  ID 表\\xa0\\x81\n"
            "0000000003  佐藤 花子  (サトウ ハナコ)\n2 patients\n");
  EXPECT_THAT(Reclink({"patients", tmp.path(), "--kana", "サトウ ハナコ"}).out,
              testing::EndsWith("(サトウ ハナコ)\n2 patients\n"));
  EXPECT_THAT(Reclink({"patients", tmp.path()}).out,
              HasSubstr("\n0000000002  佐藤 花子  (サトウ ハナコ)  [excluded]\n0000000003  "));
}

TEST(CheckCommand, SoundDatabasePassesAndEachFaultIsNamed) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  InsertAll(tmp.file("PATIENT1.BTR"), {Patient("0000000001", "山田 太郎", "ヤマダ タロウ")});
  Outcome o = Reclink({"check", tmp.path()});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_THAT(o.out, HasSubstr("PATIENT1.BTR: ok, 1 records\n"));
  EXPECT_THAT(o.out, HasSubstr("checked 44 files: no problems\n"));

  // A body file of the wrong layout, a file that is no record file, a missing file.
  Spit(tmp.file("body.des"), "record=300 key=1\nposition=1 length=21 type=zstring\n");
  ASSERT_EQ(Reclink({"create", tmp.file("BODY.BTR"), tmp.file("body.des"), "--force"}).status, 0);
  Spit(tmp.file("JUNK.BTR"), "this is not a record file");
  std::filesystem::remove(tmp.file("LAS.BTR"));
  o = Reclink({"check", tmp.path()});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.out, HasSubstr("BODY.BTR: record length 300, the database's BODY.BTR has 400\n"));
  EXPECT_THAT(o.out, HasSubstr("LAS.BTR: missing\n"));
  EXPECT_THAT(o.out, HasSubstr("checked 44 files: 3 problems\n"));
  EXPECT_EQ(Reclink({"check", tmp.file("JUNK.BTR")}).status, 1);

  // A file with an owner name is checked, and backed up, as it is: the
  // utility knows no owner names.
  std::filesystem::create_directory(tmp.file("owned"));
  const std::string owned = tmp.file("owned/NOTES.BTR");
  Spit(tmp.file("notes.des"), "record=8 key=1\nposition=1 length=4\n");
  ASSERT_EQ(Reclink({"create", owned, tmp.file("notes.des")}).status, 0);
  InsertAll(owned, {"12345678"});
  {
    reclink::test::BtrFile f;
    ASSERT_EQ(f.Open(owned), 0);
    std::strcpy(f.keyBuf, "SECRET");
    ASSERT_EQ(f.Write(B_SET_OWNER, std::string("SECRET\0\0", 9), 0), 0);  // every Open needs the name
  }
  ASSERT_EQ(Reclink({"backup", tmp.file("owned"), tmp.file("copy")}).status, 0);
  o = Reclink({"check", tmp.file("copy/NOTES.BTR")});
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_EQ(o.out, tmp.file("copy/NOTES.BTR") + ": ok, 1 records\n");
}

}  // namespace
}  // namespace reclink::cli::test
