// dump on real record files, in its three formats.
#include <gtest/gtest.h>

#include <cstring>

#include "command_test_support.h"
#include "cli/text_codec.h"

namespace reclink::cli::test {
namespace {

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
