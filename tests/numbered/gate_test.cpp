// The gate, the boxes, the log and the conflict loop, with the record
// manager's answers scripted; and the directory delimiter.

#include <gtest/gtest.h>

#include "core/read_log.h"
#include "numbered/last_delim.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"
#include "records/record_db.h"

namespace {

using namespace reclink::test;
using Messages = DatabaseTest;
using Gate = DatabaseTest;

char g_data[40980];
char g_key[256];

// Each way through the gate by number: asking again while the record or file
// is locked, the statuses the operation keeps quiet about, its box, its text
// for a number it cannot serve and its refusal without memory. The other
// keyed reads share GetEQ's and GetNEXT's way; where each goes is walked on
// a real file (files_test.cpp).
TEST_F(Messages, EachOperationReportsInItsOwnWords) {
  struct Op {  // label: in the status box; name: in the unknown-number box
    uint16_t op;
    const char* label;
    const char* name;
    int silent;
    int (*call)(CRecLink&, int);
  };
  const Op ops[] = {
      {B_GET_EQUAL, "BO_GETEQ", "DBGetEQ", 4, [](CRecLink& l, int n) { return l.DB_GetEQ(n, 0, g_data, g_key); }},
      {B_GET_NEXT, "BO_GETNEXT", "DBGetNEXT", 9, [](CRecLink& l, int n) { return l.DB_GetNEXT(n, 0, g_data, g_key); }},
      {B_INSERT, "BO_INSERT", "DBInsert", 5, [](CRecLink& l, int n) { return l.DB_Insert(n, g_data); }},
      {B_UPDATE, "BO_UPDATE", "DBUpdate", 4, [](CRecLink& l, int n) { return l.DB_Update(n, g_data); }},
      {B_STAT, "BO_STAT", "DBStat", 9, [](CRecLink& l, int n) { return l.DB_Stat(n, g_data); }},
      {B_OPEN, "BO_OPEN", "DBOpen", 0, [](CRecLink& l, int n) { return l.DB_Open(n, 0); }},
      {B_OPEN, "BO_OPEN", "DBOpen", 0, [](CRecLink& l, int n) { return l.DB_Open("/x.btr", n); }},
  };
  ScriptedBtrieve script;
  CRecLink link;
  for (const Op& op : ops) {
    SCOPED_TRACE(op.label);
    boxes_.clear();
    script.ClearCalls();
    const int other = op.silent == 4 ? 9 : 4;
    const std::string box = "POINTPA_DB " + std::string(op.label) + " Status = ";
    if (op.op == B_UPDATE || op.op == B_DELETE) script.Script(B_GET_EQUAL, {0, 0});
    script.Script(op.op, {84, 85, op.silent, 85, 84, other});
    EXPECT_EQ(op.call(link, 160), op.silent);
    EXPECT_EQ(op.call(link, 160), other);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.calls()[0].text, box + std::to_string(other));
    EXPECT_EQ(boxes_.calls()[0].caption, "RecLinkDLL ERROR");

    // Numbers without a slot, or without memory for the blocks, reach nothing
    // and leave the last status alone.
    const size_t asked = script.calls().size();
    for (int n : {100, 115, 370, 440, 500}) {
      EXPECT_EQ(op.call(link, n), -1);
      EXPECT_EQ(boxes_.calls().back().text, op.name + (" Proc DBNo Error = " + std::to_string(n)));
    }
    if (op.op == B_OPEN || op.op == B_INSERT || op.op == B_UPDATE || op.op == B_DELETE) {
      reclink::platform::FailNextGlobalAllocs(1);
      EXPECT_EQ(op.call(link, 160), 101);
      EXPECT_EQ(boxes_.calls().back().text, box + "101");
    }
    EXPECT_EQ(script.calls().size(), asked);
    EXPECT_EQ(link.GetLastStatus(), other);
  }
  // Number 10 has a slot but no file to open by number.
  EXPECT_EQ(link.DB_Open(10, 0), -1);
  EXPECT_EQ(boxes_.calls().back().text, "DBOpen Proc DBNo Error = 10");
}

TEST_F(Gate, UpdateAndDeleteReadAgainAfterAConflict) {
  // The answers to the reads by the rebuilt key and to the writes; the result.
  struct Case {
    uint16_t op;
    std::vector<int> reads, writes;
    int result;
  };
  const Case cases[] = {
      {B_UPDATE, {0, 0, 0, 0}, {80, 80, 80, 0}, 0},  // until the conflict clears
      {B_UPDATE, {0, 4}, {80}, 4},                   // the record went meanwhile
      {B_DELETE, {0, 0, 0}, {80, 80, 46}, 46},       // another failure ends it
      {B_DELETE, {4}, {}, 4},                        // nothing stored: nothing written
  };
  CRecLink link;
  for (const Case& c : cases) {
    ScriptedBtrieve script;
    script.Script(B_GET_EQUAL, c.reads);
    script.Script(c.op, c.writes);
    const auto call = c.op == B_UPDATE ? &CRecLink::DB_Update : &CRecLink::DB_Delete;
    EXPECT_EQ((link.*call)(470, g_data), c.result);
    EXPECT_EQ(script.CountOf(B_GET_EQUAL), c.reads.size());
    EXPECT_EQ(script.CountOf(c.op), c.writes.size());
  }
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "TRACELAT_DB BO_DELETE Status = 46");
}

TEST_F(Messages, StatusTwoIsLoggedInTheDirectoryOfTheLastOpenByNumber) {
  ScriptedBtrieve script;
  CRecLink link;
  script.Script(B_GET_EQUAL, {2});
  script.Script(B_OPEN, {0, 0});
  ASSERT_EQ(link.DB_Open(110, 0), 0);
  script.Script(B_INSERT, {46});
  EXPECT_EQ(link.DB_GetEQ(110, 0, g_data, g_key), 2);
  EXPECT_EQ(link.DB_Insert(110, g_data), 46);
  // Each open reads the profile again: the next line goes to the new place.
  SetProfileDirectory(elsewhere_.path());
  ASSERT_EQ(link.DB_Open(110, B_MODE_READ_ONLY), 0);
  EXPECT_EQ(script.calls().back().keyNum, B_MODE_READ_ONLY);
  script.Script(B_BEGIN_TRAN, {2});
  script.Script(B_END_TRAN, {39});
  EXPECT_EQ(link.Begin_Tran(), -1);
  EXPECT_EQ(link.End_Tran(), -1);

  EXPECT_EQ(ReadFile(tmp_.file("io_error.txt")), Today() + " : PATIENT_DB\r\n");
  EXPECT_EQ(ReadFile(elsewhere_.file("io_error.txt")), Today() + " : \r\n");
  ASSERT_EQ(boxes_.count(), 4u);
  EXPECT_EQ(boxes_.calls()[2].text, " BO_BEGIN Status = 2");
  EXPECT_EQ(boxes_.calls()[3].text, " BO_ENDTRAN Status = 39");
}

TEST(LastDelim, AppendsTheDelimiterTheTextUsesWalkingDoubleByteCharactersWhole) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\DATA", "C:\\DATA\\"},
      {"C:\\DATA\\", "C:\\DATA\\"},
      {"C:/DATA", "C:/DATA/"},
      {"C:/A\\B", "C:/A\\B/"},  // a slash anywhere after the first character decides
      {"", "\\"},
      {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},  // 0x95 0x5C is one character, not a backslash
      {"C:\\\x95/X", "C:\\\x95/X\\"},      // nor is 0x95 '/' a slash
      {"C:\\\xB1\\", "C:\\\xB1\\"},  // a single-byte kana leads nothing
      {"C:\\\xFC\\", "C:\\\xFC\\\\"},  // the last lead byte, from the upper range
      {"C:\\\xFC", "C:\\\xFC\\"},      // a lead byte never takes the terminator
  };
  for (const auto& [text, want] : cases) {
    char buffer[100];
    std::memset(buffer, '/', sizeof buffer - 1);  // a walk past the terminator meets slashes
    buffer[sizeof buffer - 1] = '\0';
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    EXPECT_EQ(reclink::numbered::AppendLastDelim(buffer), static_cast<int>(want.size())) << text;
    EXPECT_EQ(std::string(buffer), want) << text;
  }
}

}  // namespace
