// Look-ups beyond the plain pattern: the custom table's second try, the staff
// table, key images with empty and full fields, point-lat records read in the
// current layout, arguments longer than their fields, the host's profile.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "reclink/btrieve.h"
#include "reclink/records.h"
#include "reclink/win_app.h"
#include "record_db.h"

namespace reclink::test {
namespace {

class CustomTableTest : public RecordDbTest {
 protected:
  void SetUp() override {
    CreateFiles({"CUSTOMTBL.BTR"});
    table_ = std::make_unique<CCustomTblDB>(dir().c_str());
    OpenOk(*table_);
    for (auto item : {"05", "07x", "00", "999"}) Store("T1", item, item);
    Store("AA", "12", "staff twelve");
  }
  void Store(const char* table, const char* item, const char* text) {
    char* record = table_->GetRecordBuffer();
    std::memset(record, 0, CCustomTblDB::kRecordLength);
    PutField(record, 0, table);
    PutField(record, 3, item);
    PutField(record, 8, text);
    ASSERT_EQ(table_->Insert(), 0);
  }
  const char* text() { return table_->GetRecordBuffer() + 8; }
  std::unique_ptr<CCustomTblDB> table_;
};

TEST_F(CustomTableTest, PlainNumbersFindItemsStoredWithTwoDigits) {
  ScriptedBtrieve calls;
  EXPECT_EQ(table_->GetCustomTblData("T1", "5"), 0);
  EXPECT_STREQ(text(), "05");
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 2u);

  EXPECT_EQ(table_->GetCustomTblData("T1", "05"), 0);  // found at once
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 3u);

  EXPECT_EQ(table_->GetCustomTblData("T1", "007"), 4);  // tried as 07, not 07x
  EXPECT_EQ(table_->GetCustomTblData("T1", "7"), 4);
  EXPECT_EQ(std::string(table_->GetRecordBuffer(), 8), std::string(8, '\0'));

  calls.ClearCalls();
  EXPECT_EQ(table_->GetCustomTblData("T1", "1234"), 4);  // no second try from 1000 on
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 1u);

  EXPECT_EQ(table_->GetCustomTblData("T1", "AB"), 0);  // no digits: tried as 00
  EXPECT_STREQ(text(), "00");
  EXPECT_EQ(table_->GetCustomTblData("T1", "-99999999"), 4);  // "%02d" wider than the field
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(CustomTableTest, StaffTableIsTableAA) {
  EXPECT_EQ(table_->GetStaffData("12"), 0);
  EXPECT_STREQ(text(), "staff twelve");
  EXPECT_EQ(table_->GetStaffData("5"), 4);
}

TEST_F(CustomTableTest, AFailingFirstTryIsReportedAndTriedAgain) {
  table_->Close();
  EXPECT_EQ(table_->GetCustomTblData("T1", "5"), 3);
  EXPECT_EQ(boxes_.count(), 2u);
  boxes_.clear();
  EXPECT_EQ(table_->GetCustomTblData("T1", "1000"), 3);
  EXPECT_EQ(boxes_.count(), 1u);
}

TEST_F(RecordDbTest, KeyImagesPlaceEachArgumentAtItsSegment) {
  CreateFiles({"CASERREG.BTR", "TEXTTBL.BTR", "CASE.BTR"});
  CCaseSearchInfoDB info(dir().c_str());
  OpenOk(info);
  char* record = info.GetRecordBuffer();
  std::memset(record, 0, CCaseSearchInfoDB::kRecordLength);
  PutField(record, 0, "A");
  PutField(record, 8, "CCC");
  std::memcpy(record + 12, "tail", 4);
  ASSERT_EQ(info.Insert(), 0);
  EXPECT_EQ(info.GetCaseSearchInfoData("A", "", "CCC"), 0);
  EXPECT_EQ(std::memcmp(record + 12, "tail", 4), 0);
  EXPECT_EQ(info.GetCaseSearchInfoData("A", "CCC", ""), 4);

  CTextTblDB text(dir().c_str());
  OpenOk(text);
  record = text.GetRecordBuffer();
  std::memset(record, 0, CTextTblDB::kRecordLength);
  PutField(record, 0, "ABC");
  PutField(record, 4, "D");
  ASSERT_EQ(text.Insert(), 0);
  std::memset(record, 0, CTextTblDB::kRecordLength);
  PutField(record, 0, "A");
  PutField(record, 4, "DD");
  ASSERT_EQ(text.Insert(), 0);
  EXPECT_EQ(text.GetTextTblData("ABC", "D"), 0);
  EXPECT_EQ(text.GetTextTblData("A", "DD"), 0);
  EXPECT_EQ(text.GetTextTblData("A", "D"), 4);

  // Arguments longer than their fields are cut to them: nothing is written
  // outside the key image.
  CCaseInfoDB cases(dir().c_str());
  OpenOk(cases);
  record = cases.GetRecordBuffer();
  std::memset(record, 0, CCaseInfoDB::kRecordLength);
  PutField(record, 0, "ABC");
  PutField(record, 4, "DEF");
  ASSERT_EQ(cases.Insert(), 0);
  EXPECT_EQ(cases.GetCaseInfoData("ABCXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX", "DEFG"), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(RecordDbTest, SubKeysOfTenCharactersKeepRecordsApart) {
  CreateFiles({"PILELAT.BTR"});
  CPileLatDB piles(dir().c_str());
  OpenOk(piles);
  char* record = piles.GetRecordBuffer();
  for (const char* sub : {"0123456789", "0123456780"}) {
    std::memset(record, 0, CPileLatDB::kRecordLength);
    PutField(record, 0, "PATIENT-01234567890");
    PutField(record, 21, sub);
    PutField(record, 40, sub);
    ASSERT_EQ(piles.Insert(), 0);
  }
  ASSERT_EQ(piles.GetPileLatData("PATIENT-01234567890", "0123456789"), 0);
  EXPECT_STREQ(record + 40, "0123456789");
  ASSERT_EQ(piles.GetPileLatData("PATIENT-01234567890", "0123456780"), 0);
  EXPECT_STREQ(record + 40, "0123456780");
  EXPECT_EQ(piles.GetPileLatData("PATIENT-01234567890", "012345678"), 4);
}

TEST_F(RecordDbTest, PointLatRecordsOfTheOlderLayoutAreReadInTheCurrentOne) {
  CreateFiles({"POINTLAT.BTR"});
  // Store an older-layout record past the library: byte 55 not '1', a double at 464.
  char block[B_POSITION_BLOCK_SIZE] = {};
  char key[255] = {};
  std::string path = dir() + "POINTLAT.BTR";
  std::strcpy(key, path.c_str());
  char old[3000];
  uint32_t length = sizeof old;
  ASSERT_EQ(BTRCALL(B_OPEN, block, old, &length, key, 255, 0), 0);
  std::memset(old, 0, sizeof old);
  PutField(old, 0, "P1");
  PutField(old, 21, "S1");
  old[55] = '0';
  const double value = 12.5;
  std::memcpy(old + 464, &value, sizeof value);
  std::memset(old + 64, 0x11, 400);  // the fifty pairs
  length = sizeof old;
  ASSERT_EQ(BTRCALL(B_INSERT, block, old, &length, key, 255, 0), 0);

  CPointLatDB points(dir().c_str());
  OpenOk(points);
  ASSERT_EQ(points.GetPointLatData("P1", "S1"), 0);
  const char* record = points.GetRecordBuffer();
  EXPECT_EQ(record[55], '1');
  double moved = 0;
  std::memcpy(&moved, record + 504, sizeof moved);
  EXPECT_EQ(moved, value);
  EXPECT_EQ(std::string(record + 464, 40), std::string(40, '\0'));
  EXPECT_EQ(std::memcmp(record + 64, old + 64, 400), 0);

  // A look-up that finds nothing still passes the upgrade: zeros and the mark.
  EXPECT_EQ(points.GetPointLatData("P1", "S2"), 4);
  EXPECT_EQ(record[55], '1');
  record = points.GetRecordBuffer();
  EXPECT_EQ(std::string(record, 55), std::string(55, '\0'));

  // Update writes the current layout back.
  ASSERT_EQ(points.GetPointLatData("P1", "S1"), 0);
  ASSERT_EQ(points.Update(), 0);
  std::memset(key, 0, sizeof key);
  PutField(key, 0, "P1");
  PutField(key, 21, "S1");
  length = sizeof old;
  ASSERT_EQ(BTRCALL(B_GET_EQUAL, block, old, &length, key, 255, 0), 0);
  EXPECT_EQ(old[55], '1');
  std::memcpy(&moved, old + 504, sizeof moved);
  EXPECT_EQ(moved, value);
  BTRCALL(B_CLOSE, block, old, &length, key, 255, 0);
}

TEST_F(RecordDbTest, TheHostApplicationsProfileComesFirst) {
  std::string hostProfile = tmp_.file("host.ini");
  FILE* f = std::fopen(hostProfile.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("[db_dir]\r\ndatabase = \"E:\\HOST\"\r\n", f);
  std::fclose(f);
  WriteProfile("C:\\TOOLS");
  {
    CWinApp app(hostProfile.c_str());
    EXPECT_STREQ(CBodyDB().GetFilePath(), "E:\\HOST\\BODY.BTR");
  }
  EXPECT_STREQ(CBodyDB().GetFilePath(), "C:\\TOOLS\\BODY.BTR");
}

}  // namespace
}  // namespace reclink::test
