// The numbered interface and the record classes share their files: what one
// writes, the other reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "numbered_db.h"
#include "reclink/rec_link.h"
#include "reclink/records.h"
#include "support/test_support.h"

namespace {

using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;

TEST(RecordsInterop, WrittenByNumberReadByClassAndBack) {
  NumberedDb db;
  db.Create({140, 160});
  MessageBoxRecorder boxes;
  CRecLink link;
  ASSERT_EQ(link.DB_Open(140, 0), 0);
  ASSERT_EQ(link.DB_Open(160, 0), 0);
  const std::string dir = db.path() + "/";

  // A point-lat record inserted by number arrives marked and unmoved.
  std::vector<char> lat = MakeRecord(140, {"0000000007", "LAT1"});
  for (int i = 64; i < 3000; ++i) lat[i] = static_cast<char>(i % 251);
  lat[55] = '0';
  ASSERT_EQ(link.DB_Insert(140, lat.data()), 0);
  CPointLatDB pointLat(dir.c_str());
  ASSERT_EQ(pointLat.Open(BTR_OPEN_NORMAL), 0);
  ASSERT_EQ(pointLat.GetPointLatData("0000000007", "LAT1"), 0);
  std::vector<char> seen(pointLat.GetRecordBuffer(), pointLat.GetRecordBuffer() + 3000);
  EXPECT_EQ(seen[55], '1');
  seen[55] = '0';
  EXPECT_EQ(seen, lat);

  // Written by the class, found, changed and deleted by number.
  CPointPADB pointPA(dir.c_str());
  ASSERT_EQ(pointPA.Open(BTR_OPEN_NORMAL), 0);
  char* pa = pointPA.GetRecordBuffer();
  std::memset(pa, 0, CPointPADB::kRecordLength);
  std::strcpy(pa, "0000000007");
  std::strcpy(pa + 21, "PA1");
  std::memset(pa + 100, 'c', 50);
  ASSERT_EQ(pointPA.Insert(), 0);

  std::vector<char> byNumber(4000, 0);
  char key[256] = {};
  std::memcpy(key, pa, 32);
  ASSERT_EQ(link.DB_GetEQ(160, 0, byNumber.data(), key), 0);
  EXPECT_TRUE(std::equal(byNumber.begin(), byNumber.end(), pa));

  byNumber[120] = 'n';
  ASSERT_EQ(link.DB_Update(160, byNumber.data()), 0);
  ASSERT_EQ(pointPA.GetPointPAData("0000000007", "PA1"), 0);
  EXPECT_EQ(pointPA.GetRecordBuffer()[120], 'n');
  EXPECT_EQ(pointPA.GetRecordBuffer()[119], 'c');

  ASSERT_EQ(link.DB_Delete(160, byNumber.data()), 0);
  EXPECT_EQ(pointPA.GetPointPAData("0000000007", "PA1"), 4);
  EXPECT_EQ(boxes.count(), 0u);
  link.DB_Close(140);
  link.DB_Close(160);
}

}  // namespace
