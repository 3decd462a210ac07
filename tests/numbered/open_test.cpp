// Opening by number and by path, against the record manager.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "numbered/db_number_table.h"
#include "numbered_db.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"
#include "support/test_support.h"

namespace {

using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST(Open, ByNumberFindsTheFileInTheProfilesDirectory) {
  NumberedDb db;
  db.Create({110, 120, 130});
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;

  // The directory as written, with the delimiter it uses appended.
  EXPECT_EQ(link.DB_Open(110, 0), 0);
  ASSERT_EQ(script.CountOf(B_OPEN), 1u);
  EXPECT_EQ(script.calls()[0].key, db.path() + "/PATIENT1.BTR");
  EXPECT_EQ(script.calls()[0].dataLen, 3600u);

  db.SetDirectoryValue(Backslashed(db.path()));
  script.ClearCalls();
  EXPECT_EQ(link.DB_Open(120, -2), 0);  // the mode goes through as it is
  ASSERT_EQ(script.calls().size(), 1u);
  EXPECT_EQ(script.calls()[0].key, Backslashed(db.path()) + "\\PHOTO.BTR");
  EXPECT_EQ(script.calls()[0].keyNum, -2);
  EXPECT_EQ(boxes.count(), 0u);

  // Read-only: a write is refused and says so.
  std::vector<char> photo = MakeRecord(120, {"P1", "S1"});
  EXPECT_EQ(link.DB_Insert(120, photo.data()), 46);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PHOTO_DB BO_INSERT Status = 46");

  // The profile is read afresh at every open.
  db.SetDirectoryValue(db.path() + "/nowhere");
  boxes.clear();
  int status = link.DB_Open(130, 0);
  EXPECT_NE(status, 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "IMGTYPE_DB BO_OPEN Status = " + std::to_string(status));
  link.DB_Stop();
}

TEST(Open, FailedOpenShowsOneBoxWithTheRecordManagersStatus) {
  NumberedDb db;  // no files
  MessageBoxRecorder boxes;
  CRecLink link;
  int status = link.DB_Open(110, 0);
  EXPECT_GT(status, 0);
  EXPECT_EQ(link.GetLastStatus(), status);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PATIENT_DB BO_OPEN Status = " + std::to_string(status));
  EXPECT_EQ(boxes.calls()[0].caption, "RecLinkDLL ERROR");

  // An empty directory entry becomes a lone backslash: the root.
  db.SetDirectoryValue("");
  ScriptedBtrieve script;
  script.Script(B_OPEN, {12});
  EXPECT_EQ(link.DB_Open(110, 0), 12);
  ASSERT_EQ(script.calls().size(), 1u);
  EXPECT_EQ(script.calls()[0].key, "");  // \PATIENT1.BTR does not exist: no short form
}

TEST(Open, ByPathReachesAnyKnownSlotNumber10Included) {
  NumberedDb db;
  db.Create({120});
  MessageBoxRecorder boxes;
  CRecLink link;
  // Number 10 shares number 120's record layout; open the photo file as 10.
  const std::string photo = db.file("PHOTO.BTR");
  ASSERT_EQ(link.DB_Open(photo.c_str(), 10), 0);
  std::vector<char> record = MakeRecord(10, {"PAT10", "S"});
  EXPECT_EQ(link.DB_Insert(10, record.data()), 0);

  // Read back through number 120, opened by number: the same file.
  ASSERT_EQ(link.DB_Open(120, 0), 0);
  std::vector<char> data(80, 0);
  char key[256] = {};
  EXPECT_EQ(link.DB_GetFIRST(120, 0, data.data(), key), 0);
  EXPECT_EQ(data, record);
  EXPECT_EQ(boxes.count(), 0u);

  // A path that does not exist: the record manager's answer, in a box.
  EXPECT_NE(link.DB_Open(db.file("MISSING.BTR").c_str(), 10), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text.rfind(" BO_OPEN Status = ", 0), 0u);
  link.DB_Stop();
}

TEST(Open, OwnerBlockThatCannotBeAllocatedFailsTheOpen) {
  NumberedDb db;
  db.Create({110});
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link.DB_Open(110, 0), 101);
  EXPECT_EQ(script.CountOf(B_OPEN), 0u);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PATIENT_DB BO_OPEN Status = 101");
  EXPECT_EQ(link.DB_Open(110, 0), 0);
  link.DB_Close(110);
  EXPECT_EQ(link.GetLastStatus(), 0);
}

}  // namespace
