// Reading and writing by number on real record files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/point_lat.h"
#include "numbered/db_number_table.h"
#include "reclink/btrieve.h"
#include "reclink/file_spec.h"
#include "reclink/rec_link.h"
#include "reclink/records/catalogue.h"
#include "records/record_db.h"

namespace {

using namespace reclink::test;
using reclink::numbered::kDbNumbers;
using Files = DatabaseTest;

// DB_GetEQ on key 0 taken from the first bytes of record (every numbered
// file's key 0 lies back to back from offset 0) into out; the status.
int GetEQ(CRecLink& link, int dbno, const std::vector<char>& record, std::vector<char>& out) {
  out.assign(record.size(), 0);
  char key[256] = {};
  std::memcpy(key, record.data(), std::min<size_t>(record.size(), 64));
  return link.DB_GetEQ(dbno, 0, out.data(), key);
}

TEST_F(Files, EveryNumberReachesItsOwnFileLaidOutAsItsTablesSay) {
  ASSERT_EQ(reclink::CreateDatabase(dir().c_str()), 0);
  ASSERT_EQ(reclink::CreateRecordFile(elsewhere_.path().c_str(), "PHOTO.BTR"), 0);
  CRecLink link;
  std::vector<std::vector<char>> records(std::size(kDbNumbers));
  // Each number opens its file (10, which has none in the database, a photo
  // file elsewhere by path), reads its length and key 0 from the file itself
  // and stores one record of its own there; every file stays open.
  for (size_t i = 0; i < std::size(kDbNumbers); ++i) {
    const auto& row = kDbNumbers[i];
    SCOPED_TRACE(row.dbno);
    ASSERT_EQ(row.file != nullptr ? link.DB_Open(row.dbno, 0)
                                  : link.DB_Open(elsewhere_.file("PHOTO.BTR").c_str(), row.dbno),
              0);
    std::vector<char> stat(40980);
    ASSERT_EQ(link.DB_Stat(row.dbno, stat.data()), 0);
    recman::FileSpec file;
    ASSERT_EQ(recman::DecodeFileSpec(stat.data(), static_cast<uint32_t>(stat.size()), &file), 0);
    ASSERT_FALSE(file.keys.empty());
    // Key 0's segments, back to back from 0, each hold the number.
    auto& record = records[i] = std::vector<char>(file.recordLength, 'E');
    if (row.dbno == 140) record[reclink::kPointLatMarkOffset] = '1';  // current layout
    unsigned end = 0;
    for (const recman::SegmentSpec& seg : file.keys[0].segments) {
      EXPECT_EQ(seg.position - 1u, end);
      std::snprintf(&record[end], seg.length, "%d", row.dbno);
      end += seg.length;
    }
    ASSERT_EQ(link.DB_Insert(row.dbno, record.data()), 0);
  }

  // Each number reads its own record first; found again by the key rebuilt
  // from the caller's record, it is replaced, then deleted: once inside a
  // transaction that is aborted, then for good.
  for (size_t i = 0; i < std::size(kDbNumbers); ++i) {
    const int dbno = kDbNumbers[i].dbno;
    SCOPED_TRACE(dbno);
    std::vector<char> back(records[i].size());
    char key[256] = {};
    ASSERT_EQ(link.DB_GetFIRST(dbno, 0, back.data(), key), 0);
    EXPECT_EQ(back, records[i]);
    std::vector<char> changed = records[i];
    changed.back() = 'U';  // behind every key
    EXPECT_EQ(link.DB_Update(dbno, changed.data()), 0);
    EXPECT_EQ(GetEQ(link, dbno, records[i], back), 0);
    EXPECT_EQ(back, changed);
    ASSERT_EQ(link.Begin_Tran(), 0);
    EXPECT_EQ(link.DB_Delete(dbno, records[i].data()), 0);
    link.Abort_Tran();
    EXPECT_EQ(GetEQ(link, dbno, records[i], back), 0);
    EXPECT_EQ(link.DB_Delete(dbno, records[i].data()), 0);
    EXPECT_EQ(GetEQ(link, dbno, records[i], back), 4);
  }
  EXPECT_EQ(boxes_.count(), 0u);
  link.DB_Stop();
}

// An insert by number stores a copy of the caller's record marked current,
// and leaves the caller's buffer alone; an update stores the caller's bytes
// as they are, unmarked: reads by number upgrade them, and pass even a buffer
// they found nothing for through the upgrade. Each read goes its own way
// along the key.
TEST_F(Files, PointLatRecordsAreUpgradedAsTheyAreReadByNumber) {
  ASSERT_EQ(reclink::CreateRecordFile(dir().c_str(), "POINTLAT.BTR"), 0);
  CRecLink link;
  ASSERT_EQ(link.DB_Open(140, 0), 0);
  auto older = Rec(3000, {{0, "0000000007"}, {21, "LAT1"}, {55, "0"}}, 'x');
  const auto callers = older;
  ASSERT_EQ(link.DB_Insert(140, older.data()), 0);
  EXPECT_EQ(older, callers);
  std::vector<char> back;
  auto marked = older;
  marked[reclink::kPointLatMarkOffset] = reclink::kPointLatCurrent;
  ASSERT_EQ(GetEQ(link, 140, older, back), 0);
  EXPECT_EQ(back, marked) << "read back as written, not upgraded again";
  ASSERT_EQ(link.DB_Update(140, older.data()), 0);
  auto upgraded = older;
  reclink::PointLatConv(upgraded.data());
  ASSERT_EQ(GetEQ(link, 140, older, back), 0);
  EXPECT_EQ(back, upgraded);
  // Each read by number goes its own way along key 0; from patient 7 when it
  // starts from a key.
  for (const char* patient : {"0000000006", "0000000008"}) {
    ASSERT_EQ(link.DB_Insert(140, Rec(3000, {{0, patient}, {21, "LAT1"}}).data()), 0);
  }
  const std::pair<int (CRecLink::*)(int, int, void*, void*), char> reads[] = {
      {&CRecLink::DB_GetFIRST, '6'}, {&CRecLink::DB_GetLAST, '8'}, {&CRecLink::DB_GetPREV, '7'},
      {&CRecLink::DB_GetNEXT, '8'},  {&CRecLink::DB_GetGR, '8'},   {&CRecLink::DB_GetGREQ, '7'},
      {&CRecLink::DB_GetLESS, '6'},  {&CRecLink::DB_GetLEEQ, '7'}};
  for (const auto& [read, found] : reads) {
    char key[256] = {};
    std::memcpy(key, older.data(), 64);
    ASSERT_EQ((link.*read)(140, 0, back.data(), key), 0);
    EXPECT_EQ(back[9], found);
  }
  EXPECT_EQ(GetEQ(link, 140, Rec(3000, {{0, "NONE"}}), back), 4);
  EXPECT_EQ(back[reclink::kPointLatMarkOffset], '1');
  link.DB_Close(140);
}

}  // namespace
