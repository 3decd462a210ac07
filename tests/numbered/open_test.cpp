// Opening by number and by path, against the record manager.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "numbered_db.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

TEST(Open, ByNumberReadsTheProfileAfreshAndPassesTheMode) {
  NumberedDb db;
  db.Create({110, 120});
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  EXPECT_EQ(link.DB_Open(110, 0), 0);
  ASSERT_EQ(script.calls().size(), 1u);
  EXPECT_EQ(script.calls()[0].key, db.path() + "/PATIENT1.BTR");
  EXPECT_EQ(script.calls()[0].dataLen, 3600u);

  // The same directory spelt with backslashes keeps them.
  std::string backslashed = db.path();
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  db.SetDirectoryValue(backslashed);
  EXPECT_EQ(link.DB_Open(120, B_MODE_READ_ONLY), 0);
  ASSERT_EQ(script.calls().size(), 2u);
  EXPECT_EQ(script.calls()[1].key, backslashed + "\\PHOTO.BTR");
  EXPECT_EQ(script.calls()[1].keyNum, B_MODE_READ_ONLY);
  std::vector<char> photo = MakeRecord(120, {"P1", "S1"});
  EXPECT_EQ(link.DB_Insert(120, photo.data()), 46);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PHOTO_DB BO_INSERT Status = 46");

  // A directory without the file: the record manager's status, one box.
  db.SetDirectoryValue(db.path() + "/nowhere");
  const int status = link.DB_Open(110, 0);
  EXPECT_GT(status, 0);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[1].text, "PATIENT_DB BO_OPEN Status = " + std::to_string(status));
  EXPECT_EQ(script.calls().back().key, "");  // a missing file has no short form
  link.DB_Stop();
}

TEST(Open, ByPathReachesAnyKnownSlotNumber10Included) {
  NumberedDb db;
  db.Create({120});
  MessageBoxRecorder boxes;
  CRecLink link;
  // Number 10 has the photo record's length and key: open the photo file as 10.
  ASSERT_EQ(link.DB_Open(db.file("PHOTO.BTR").c_str(), 10), 0);
  std::vector<char> record = MakeRecord(10, {"PAT10", "S"});
  EXPECT_EQ(link.DB_Insert(10, record.data()), 0);
  ASSERT_EQ(link.DB_Open(120, 0), 0);
  std::vector<char> data(80, 0);
  char key[256] = {};
  EXPECT_EQ(link.DB_GetFIRST(120, 0, data.data(), key), 0);
  EXPECT_EQ(data, record);
  EXPECT_EQ(boxes.count(), 0u);

  EXPECT_NE(link.DB_Open(db.file("MISSING.BTR").c_str(), 10), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text.rfind(" BO_OPEN Status = ", 0), 0u);  // 10 has no ident

  // Without its owner block the open is not attempted.
  ScriptedBtrieve script;
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link.DB_Open(110, 0), 101);
  EXPECT_EQ(script.CountOf(B_OPEN), 0u);
  EXPECT_EQ(boxes.calls().back().text, "PATIENT_DB BO_OPEN Status = 101");
  link.DB_Stop();
}

}  // namespace
