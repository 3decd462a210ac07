// Reading and writing by number on real record files, beside the record
// classes and another process that share them.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "core/point_lat.h"
#include "numbered/db_number_table.h"
#include "numbered_db.h"
#include "reclink/btrieve.h"
#include "reclink/records.h"
#include "reclink/records/catalogue.h"

namespace {

using namespace reclink::test;
using reclink::numbered::kDbNumbers;

TEST(Files, EveryNumberReachesItsOwnFileLaidOutAsItsTablesSay) {
  NumberedDb db;
  ASSERT_EQ(reclink::CreateDatabase(db.dir.path().c_str()), 0);
  ASSERT_EQ(reclink::CreateRecordFile(db.iniDir.path().c_str(), "PHOTO.BTR"), 0);
  MessageBoxRecorder boxes;
  CRecLink link;
  std::vector<std::vector<char>> records(std::size(kDbNumbers));
  // Each number opens its file (10, which has none in the database, a photo
  // file elsewhere by path), reads its length and key 0 from the file itself
  // and stores one record of its own there; every file stays open.
  for (size_t i = 0; i < std::size(kDbNumbers); ++i) {
    const auto& row = kDbNumbers[i];
    SCOPED_TRACE(row.dbno);
    ASSERT_EQ(row.file != nullptr ? link.DB_Open(row.dbno, 0)
                                  : link.DB_Open(db.iniDir.file("PHOTO.BTR").c_str(), row.dbno),
              0);
    std::vector<char> stat(40980);
    ASSERT_EQ(link.DB_Stat(row.dbno, stat.data()), 0);
    BtrFileSpec file;
    std::memcpy(&file, stat.data(), sizeof file);
    // Key 0's segments, back to back from 0, each hold the number.
    auto& record = records[i] = std::vector<char>(file.recordLength, 'E');
    if (row.dbno == 140) record[reclink::kPointLatMarkOffset] = '1';  // current layout
    for (unsigned end = 0, n = 0, more = 1; more; ++n) {
      BtrKeySpec seg;
      std::memcpy(&seg, &stat[sizeof file + n * sizeof seg], sizeof seg);
      EXPECT_EQ(seg.position - 1u, end);
      std::snprintf(&record[end], seg.length, "%d", row.dbno);
      end += seg.length;
      more = (seg.flags & B_KEY_SEGMENTED) != 0;
    }
    ASSERT_EQ(link.DB_Insert(row.dbno, record.data()), 0);
  }

  // Each number reads its own record first; found again by the key rebuilt
  // from the caller's record, it is replaced, then deleted.
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
    EXPECT_EQ(link.DB_Delete(dbno, records[i].data()), 0);
    EXPECT_EQ(GetEQ(link, dbno, records[i], back), 4);
  }
  EXPECT_EQ(boxes.count(), 0u);
  link.DB_Stop();
}

TEST(Files, RecordsCrossBetweenNumbersAndRecordClasses) {
  NumberedDb db;
  for (const char* file : {"POINTLAT.BTR", "POINTPA.BTR"})
    ASSERT_EQ(reclink::CreateRecordFile(db.dir.path().c_str(), file), 0);
  CRecLink link;
  ASSERT_EQ(link.DB_Open(140, 0), 0);
  ASSERT_EQ(link.DB_Open(db.dir.file("POINTPA.BTR").c_str(), 160), 0);

  // A point-lat record in the older layout, inserted by number, is stored
  // marked current and otherwise as it was sent.
  const auto older = Rec(3000, {{0, "0000000007"}, {21, "LAT1"}, {55, "0"}}, 'x');
  auto sent = older;
  ASSERT_EQ(link.DB_Insert(140, sent.data()), 0);
  EXPECT_EQ(sent, older);  // the caller's record is only read
  auto marked = older;
  marked[reclink::kPointLatMarkOffset] = '1';
  CPointLatDB pointLat(db.dir.dir().c_str());
  ASSERT_EQ(pointLat.Open(BTR_OPEN_NORMAL), 0);
  ASSERT_EQ(pointLat.GetPointLatData("0000000007", "LAT1"), 0);
  const char* lat = pointLat.GetRecordBuffer();
  EXPECT_EQ(std::vector<char>(lat, lat + 3000), marked);

  // An update stores the caller's bytes unmarked: reads by number upgrade
  // them, and pass even a buffer they found nothing for through the upgrade.
  ASSERT_EQ(link.DB_Update(140, sent.data()), 0);
  auto upgraded = older;
  reclink::PointLatConv(upgraded.data());
  ASSERT_NE(upgraded, marked);  // the upgrade moves more than the mark
  std::vector<char> back;
  ASSERT_EQ(GetEQ(link, 140, older, back), 0);
  EXPECT_EQ(back, upgraded);
  EXPECT_EQ(GetEQ(link, 140, Rec(3000, {{0, "NONE"}}), back), 4);
  EXPECT_EQ(back[reclink::kPointLatMarkOffset], '1');

  // Written by the record class, read and deleted by number.
  CPointPADB pointPA(db.dir.dir().c_str());
  ASSERT_EQ(pointPA.Open(BTR_OPEN_NORMAL), 0);
  const auto written =
      Rec(CPointPADB::kRecordLength, {{0, "0000000007"}, {21, "PA1"}, {100, "ccc"}});
  std::memcpy(pointPA.GetRecordBuffer(), written.data(), written.size());
  ASSERT_EQ(pointPA.Insert(), 0);
  ASSERT_EQ(GetEQ(link, 160, written, back), 0);
  EXPECT_EQ(back, written);
  ASSERT_EQ(link.DB_Delete(160, back.data()), 0);
  EXPECT_EQ(pointPA.GetPointPAData("0000000007", "PA1"), 4);
  link.DB_Close(140);
  link.DB_Close(160);
}

int g_toChild[2];    // pipe: the word to change the record
int g_fromChild[2];  // pipe: the other process's update status
int g_updates = 0;   // updates this process asked for
reclink::BtrieveEntry g_next = nullptr;

// Lets the other process change the record just before this process's first update.
int InterferingEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                     uint8_t keyLen, int8_t keyNum) {
  if (op == B_UPDATE && g_updates++ == 0) {
    char reply = 'c';
    if (write(g_toChild[1], &reply, 1) != 1 || read(g_fromChild[0], &reply, 1) != 1 || reply != 0)
      ADD_FAILURE() << "the other process could not change the record: " << int(reply);
  }
  return g_next(op, posBlock, data, dataLen, key, keyLen, keyNum);
}

TEST(Files, UpdateReadsAgainAfterAnotherProcessChangedTheRecord) {
  NumberedDb db;
  const auto original = Rec(400, {{0, "PAT"}, {21, "X"}});
  ASSERT_TRUE(pipe(g_toChild) == 0 && pipe(g_fromChild) == 0);
  // Forked before this process touches the record manager: the child
  // inherits none of its connections. On the word it changes the record.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(g_toChild[1]);
    CRecLink other;
    std::vector<char> data;
    char reply = 1;
    if (read(g_toChild[0], &reply, 1) == 1 && other.DB_Open(250, 0) == 0 &&
        GetEQ(other, 250, original, data) == 0) {
      data[200] = reply;
      reply = static_cast<char>(other.DB_Update(250, data.data()));
    }
    other.DB_Close(250);
    _exit(write(g_fromChild[1], &reply, 1) == 1 ? 0 : 1);
  }
  ASSERT_EQ(reclink::CreateRecordFile(db.dir.path().c_str(), "CHEVRON.BTR"), 0);
  CRecLink link;
  ASSERT_EQ(link.DB_Open(250, 0), 0);
  auto record = original;
  ASSERT_EQ(link.DB_Insert(250, record.data()), 0);
  g_next = reclink::SetBtrieveEntry(&InterferingEntry);
  record[100] = 'P';
  alarm(30);  // a retry loop that never ends fails the test instead of hanging it
  EXPECT_EQ(link.DB_Update(250, record.data()), 0);
  alarm(0);
  reclink::SetBtrieveEntry(g_next);
  EXPECT_EQ(g_updates, 2);  // refused once (80), then written after a fresh read
  std::vector<char> back;
  EXPECT_EQ(GetEQ(link, 250, record, back), 0);
  EXPECT_EQ(back, record);
  link.DB_Stop();
  close(g_toChild[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {g_toChild[0], g_fromChild[0], g_fromChild[1]}) close(fd);
}

}  // namespace
