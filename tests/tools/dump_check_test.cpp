// dump on real record files, in its three formats.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "command_test_support.h"
#include "cli/text_codec.h"

namespace reclink::cli::test {
namespace {

// A patient record with number, name and kana (UTF-8, stored as code page 932).
std::string Patient(const char* number, const char* name, const char* kana) {
  std::string r(3600, '\0');
  std::string n, k;
  EXPECT_TRUE(Utf8ToCp932(name, &n));
  EXPECT_TRUE(Utf8ToCp932(kana, &k));
  r.replace(0, std::strlen(number), number);
  r.replace(21, n.size(), n);
  r.replace(62, k.size(), k);
  r[3000] = '\x5a';  // application bytes the utility does not know
  return r;
}

class DumpCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Reclink({"init", tmp_.path()}).status, 0);
    InsertAll(tmp_.file("PATIENT1.BTR"),
              {Patient("0000000002", "佐藤 花子", "サトウ ハナコ"),
               Patient("0000000001", "山田 \"太郎\", Jr", "ヤマダ タロウ")});
  }
  TempDir tmp_;
};

TEST_F(DumpCommand, TextShowsFieldsInKeyOrderInUtf8) {
  Outcome o = Reclink({"dump", tmp_.file("PATIENT1.BTR")});
  ASSERT_EQ(o.status, 0) << o.err;
  size_t first = o.out.find("patient number: 0000000001");
  size_t second = o.out.find("patient number: 0000000002");
  ASSERT_NE(first, std::string::npos) << o.out;
  ASSERT_NE(second, std::string::npos) << o.out;
  EXPECT_LT(first, second);
  EXPECT_NE(o.out.find("  kana name: サトウ ハナコ\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  other bytes: @3000 5a\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("2 records of"), std::string::npos);

  // Key 1 orders by name: 佐藤 (0x8d..) before 山田 (0x8e..).
  o = Reclink({"dump", tmp_.file("PATIENT1.BTR"), "--key", "1"});
  EXPECT_LT(o.out.find("0000000002"), o.out.find("0000000001"));
  EXPECT_EQ(Reclink({"dump", tmp_.file("PATIENT1.BTR"), "--key", "4"}).status, 1);
  EXPECT_EQ(Reclink({"dump", tmp_.file("NONE.BTR")}).status, 1);
}

TEST_F(DumpCommand, CsvAndJsonQuoteWhatNeedsQuoting) {
  Outcome o = Reclink({"dump", tmp_.file("PATIENT1.BTR"), "--format", "csv"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out.rfind("record,patient number,patient name,kana name,patient ID,exclusion flag,"
                        "other bytes\r\n",
                        0),
            0u)
      << o.out;
  EXPECT_NE(o.out.find("1,0000000001,\"山田 \"\"太郎\"\", Jr\",ヤマダ タロウ,,0,@3000 5a\r\n"),
            std::string::npos)
      << o.out;

  o = Reclink({"dump", tmp_.file("PATIENT1.BTR"), "--format", "json"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("{\"record\": 1, \"patient number\": \"0000000001\", \"patient name\": "
                       "\"山田 \\\"太郎\\\", Jr\""),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("\"exclusion flag\": 0, \"other bytes\": [{\"offset\": 3000, \"hex\": \"5a\"}]}"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.out.front(), '[');
  EXPECT_EQ(o.out.substr(o.out.size() - 3), "\n]\n");
  EXPECT_EQ(Reclink({"dump", tmp_.file("BODY.BTR"), "--format", "json"}).out, "[]\n");
}

}  // namespace
}  // namespace reclink::cli::test

namespace reclink::cli::test {
namespace {

TEST(CheckCommand, SoundDatabasePassesAndEachFaultIsNamed) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  InsertAll(tmp.file("PATIENT1.BTR"), {Patient("0000000001", "山田 太郎", "ヤマダ タロウ")});
  Outcome o = Reclink({"check", tmp.path()});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("PATIENT1.BTR: ok, 1 records\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("checked 44 files: no problems\n"), std::string::npos) << o.out;
  EXPECT_EQ(Reclink({"check", tmp.file("BODY.BTR")}).status, 0);

  // A body file of the wrong layout, a file that is no record file, a missing file.
  Spit(tmp.file("body.des"), "record=300 key=1\nposition=1 length=21 type=zstring\n");
  ASSERT_EQ(Reclink({"create", tmp.file("BODY.BTR"), tmp.file("body.des"), "--force"}).status, 0);
  Spit(tmp.file("JUNK.BTR"), "this is not a record file");
  std::filesystem::remove(tmp.file("LAS.BTR"));
  o = Reclink({"check", tmp.path()});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("BODY.BTR: record length 300, the database's BODY.BTR has 400\n"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("JUNK.BTR: "), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("JUNK.BTR: ok"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("LAS.BTR: missing\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("checked 44 files: 3 problems\n"), std::string::npos) << o.out;
  EXPECT_EQ(Reclink({"check", tmp.file("JUNK.BTR")}).status, 1);
  EXPECT_EQ(Reclink({"check", tmp.file("NONE.BTR")}).status, 1);
}

}  // namespace
}  // namespace reclink::cli::test
