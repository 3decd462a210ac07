// The custom table's look-up: a second try with the item code as a two-digit
// number, and the staff table.

#include <gtest/gtest.h>

#include <string>

#include "reclink/btrieve.h"
#include "reclink/records/code_table.h"
#include "record_db.h"

namespace reclink::test {
namespace {

TEST_F(DatabaseTest, CustomTableTriesTheItemAgainAsATwoDigitNumber) {
  CCustomTblDB table(dir().c_str());
  CreateAndOpen({&table});
  for (const char* item : {"05", "07x", "00"}) Store(table, {{0, "T1"}, {3, item}, {8, item}});
  Store(table, {{0, "AA"}, {3, "12"}, {8, "staff twelve"}});
  const char* text = table.GetRecordBuffer() + 8;

  ScriptedBtrieve calls;
  EXPECT_EQ(table.GetCustomTblData("T1", "5"), 0);
  EXPECT_STREQ(text, "05");
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 2u);
  EXPECT_EQ(table.GetCustomTblData("T1", "05"), 0);  // found at once
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 3u);
  EXPECT_EQ(table.GetCustomTblData("T1", "007"), 4);  // tried as 07, not 07x
  EXPECT_EQ(table.GetCustomTblData("T1", "7"), 4);
  EXPECT_EQ(std::string(table.GetRecordBuffer(), 8), std::string(8, '\0'));
  calls.ClearCalls();
  EXPECT_EQ(table.GetCustomTblData("T1", "1234"), 4);  // no second try from 1000 on
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 1u);
  EXPECT_EQ(table.GetCustomTblData("T1", "AB"), 0);  // no digits: tried as 00
  EXPECT_STREQ(text, "00");

  EXPECT_EQ(table.GetStaffData("12"), 0);  // the staff table is table AA
  EXPECT_STREQ(text, "staff twelve");
  EXPECT_EQ(table.GetStaffData("5"), 4);
  EXPECT_EQ(boxes_.count(), 0u);

  // Any failure of the first try is reported, and the second try made.
  table.Close();
  EXPECT_EQ(table.GetCustomTblData("T1", "5"), 3);
  EXPECT_EQ(boxes_.count(), 2u);
  EXPECT_EQ(table.GetCustomTblData("T1", "1000"), 3);
  EXPECT_EQ(boxes_.count(), 3u);
}

}  // namespace
}  // namespace reclink::test
