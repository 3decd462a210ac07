// Reads, writes and transactions by number against the record manager.

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

using reclink::numbered::kDbNumbers;
using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

// Two characters unique to a slot: fits the shortest key text.
std::string Tag(int slot) { return {static_cast<char>('A' + slot / 10), static_cast<char>('0' + slot % 10)}; }

class Operations : public ::testing::Test {
 protected:
  // Makes and opens the files of the given numbers (all when none given).
  void Use(const std::vector<int>& dbnos) {
    std::vector<int> opened = dbnos;
    if (dbnos.empty()) {
      db_.CreateAll();
      for (const auto& row : kDbNumbers) {
        if (row.file != nullptr) opened.push_back(row.dbno);
      }
    } else {
      db_.Create(dbnos);
    }
    for (int dbno : opened) ASSERT_EQ(link_.DB_Open(dbno, 0), 0) << dbno;
  }
  void TearDown() override { link_.DB_Stop(); }

  // Reads the record stored under record's key 0 into a fresh buffer.
  int Find(int dbno, const std::vector<char>& record, std::vector<char>* out) {
    out->assign(record.size(), 0);
    char key[256] = {};
    // The texts of key 0 start the record.
    std::memcpy(key, record.data(), std::min<size_t>(record.size(), 64));
    return link_.DB_GetEQ(dbno, 0, out->data(), key);
  }

  NumberedDb db_;
  CRecLink link_;
};

TEST_F(Operations, EveryNumberWritesReadsAndDeletesInItsOwnFile) {
  Use({});
  MessageBoxRecorder boxes;
  // Insert one record per number, all files open at once.
  for (const auto& row : kDbNumbers) {
    if (row.file == nullptr) continue;
    SCOPED_TRACE(row.dbno);
    std::vector<char> record = MakeRecord(row.dbno, {Tag(row.slot), "A", "B"});
    std::memset(record.data() + row.recordLength - 3, 'E', 3);  // the last bytes travel too
    EXPECT_EQ(link_.DB_Insert(row.dbno, record.data()), 0);
    unsigned char stat[40980] = {};
    ASSERT_EQ(link_.DB_Stat(row.dbno, stat), 0);
    BtrFileSpec spec;
    std::memcpy(&spec, stat, sizeof spec);
    EXPECT_EQ(spec.recordLength, row.recordLength);
    EXPECT_EQ(spec.numberOfRecords, 1u);
  }
  // Each slot reads its own file; update and delete find the record by key 0.
  for (const auto& row : kDbNumbers) {
    if (row.file == nullptr) continue;
    SCOPED_TRACE(row.dbno);
    std::vector<char> first(row.recordLength, 0);
    char key[256] = {};
    ASSERT_EQ(link_.DB_GetFIRST(row.dbno, 0, first.data(), key), 0);
    EXPECT_EQ(std::string(first.data()), Tag(row.slot));
    EXPECT_EQ(first[row.recordLength - 1], 'E');

    std::vector<char> changed = first;
    changed[row.recordLength - 2] = 'U';
    const std::vector<char> sent = changed;
    EXPECT_EQ(link_.DB_Update(row.dbno, changed.data()), 0);
    EXPECT_EQ(changed, sent);
    std::vector<char> back;
    ASSERT_EQ(Find(row.dbno, first, &back), 0);
    EXPECT_EQ(back, sent);

    EXPECT_EQ(link_.DB_Delete(row.dbno, first.data()), 0);
    EXPECT_EQ(Find(row.dbno, first, &back), 4);
  }
  EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Operations, OrdinaryOutcomesComeBackWithoutABox) {
  Use({250});
  MessageBoxRecorder boxes;
  std::vector<char> a = MakeRecord(250, {"P1", "A"});
  std::vector<char> b = MakeRecord(250, {"P1", "B"});
  ASSERT_EQ(link_.DB_Insert(250, b.data()), 0);
  ASSERT_EQ(link_.DB_Insert(250, a.data()), 0);
  EXPECT_EQ(link_.DB_Insert(250, a.data()), 5);  // duplicate key

  std::vector<char> data(400, 0);
  char key[256] = {};
  ASSERT_EQ(link_.DB_GetFIRST(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, a);
  EXPECT_EQ(link_.DB_GetNEXT(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, b);
  EXPECT_EQ(link_.DB_GetNEXT(250, 0, data.data(), key), 9);
  EXPECT_EQ(link_.DB_GetPREV(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, a);
  EXPECT_EQ(link_.DB_GetPREV(250, 0, data.data(), key), 9);

  std::memset(key, 0, sizeof key);
  std::memcpy(key, "P1", 2);
  std::memcpy(key + 21, "AA", 2);
  EXPECT_EQ(link_.DB_GetEQ(250, 0, data.data(), key), 4);
  EXPECT_EQ(link_.DB_GetGR(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, b);
  std::memcpy(key + 21, "C", 2);
  EXPECT_EQ(link_.DB_GetGREQ(250, 0, data.data(), key), 9);
  EXPECT_EQ(link_.DB_GetLEEQ(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, b);
  EXPECT_EQ(link_.DB_GetLESS(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, a);
  EXPECT_EQ(link_.DB_GetLAST(250, 0, data.data(), key), 0);
  EXPECT_EQ(data, b);

  // Update and delete of a key that is not stored: 4, and no write at all.
  ScriptedBtrieve script;
  std::vector<char> missing = MakeRecord(250, {"P9", "Z"});
  const std::vector<char> before = missing;
  EXPECT_EQ(link_.DB_Update(250, missing.data()), 4);
  EXPECT_EQ(link_.DB_Delete(250, missing.data()), 4);
  EXPECT_EQ(script.CountOf(B_UPDATE), 0u);
  EXPECT_EQ(script.CountOf(B_DELETE), 0u);
  EXPECT_EQ(missing, before);
  EXPECT_EQ(boxes.count(), 0u);

  // Stat offers 40,980 bytes.
  unsigned char stat[40980];
  EXPECT_EQ(link_.DB_Stat(250, stat), 0);
  EXPECT_EQ(script.calls().back().dataLen, 40980u);
}

TEST_F(Operations, ConflictIsReadAgainAndRetriedUntilItClears) {
  Use({470});
  MessageBoxRecorder boxes;
  std::vector<char> record = MakeRecord(470, {"PAT", "SUB", "V"});
  ASSERT_EQ(link_.DB_Insert(470, record.data()), 0);
  ScriptedBtrieve script;

  record[100] = 'u';
  script.Script(B_UPDATE, {80, 80, 80});
  EXPECT_EQ(link_.DB_Update(470, record.data()), 0);
  EXPECT_EQ(script.CountOf(B_UPDATE), 4u);
  EXPECT_EQ(script.CountOf(B_GET_EQUAL), 4u);  // the find, then one re-read per conflict
  std::vector<char> back;
  ASSERT_EQ(Find(470, record, &back), 0);
  EXPECT_EQ(back, record);

  // The re-read finds the record gone: 4, silently, and no second update.
  script.ClearCalls();
  script.Script(B_UPDATE, {80});
  script.ScriptAfter(B_GET_EQUAL, {0, 4});
  EXPECT_EQ(link_.DB_Update(470, record.data()), 4);
  EXPECT_EQ(script.CountOf(B_UPDATE), 1u);

  // A failure other than the conflict ends the loop with a box.
  script.ClearCalls();
  script.Script(B_DELETE, {80, 80, 46});
  EXPECT_EQ(link_.DB_Delete(470, record.data()), 46);
  EXPECT_EQ(script.CountOf(B_DELETE), 3u);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "TRACELAT_DB BO_DELETE Status = 46");

  script.Script(B_DELETE, {80});
  EXPECT_EQ(link_.DB_Delete(470, record.data()), 0);
  EXPECT_EQ(Find(470, record, &back), 4);
}

TEST_F(Operations, WritesWithoutWorkBuffersTouchNothing) {
  Use({190});
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  std::vector<char> record = MakeRecord(190, {"D1"});
  for (int failures : {1, 2}) {
    reclink::platform::FailNextGlobalAllocs(failures);
    EXPECT_EQ(link_.DB_Insert(190, record.data()), 101);
  }
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link_.DB_Update(190, record.data()), 101);
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link_.DB_Delete(190, record.data()), 101);
  EXPECT_TRUE(script.calls().empty());
  ASSERT_EQ(boxes.count(), 4u);
  EXPECT_EQ(boxes.calls()[2].text, "DOCTOR_DB BO_UPDATE Status = 101");
  EXPECT_EQ(link_.DB_Insert(190, record.data()), 0);
}

TEST_F(Operations, TransactionsCommitOrUndoTheWrites) {
  Use({130});
  MessageBoxRecorder boxes;
  std::vector<char> kept = MakeRecord(130, {"K"});
  std::vector<char> undone = MakeRecord(130, {"U"});
  std::vector<char> back;

  ASSERT_EQ(link_.Begin_Tran(), 0);
  ASSERT_EQ(link_.DB_Insert(130, undone.data()), 0);
  link_.Abort_Tran();
  EXPECT_EQ(link_.GetLastStatus(), 0);
  EXPECT_EQ(Find(130, undone, &back), 4);

  ASSERT_EQ(link_.Begin_Tran(), 0);
  ASSERT_EQ(link_.DB_Insert(130, kept.data()), 0);
  // A second Begin inside the transaction fails with its box.
  EXPECT_EQ(link_.Begin_Tran(), -1);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, " BO_BEGIN Status = 37");
  EXPECT_EQ(link_.End_Tran(), 0);
  EXPECT_EQ(Find(130, kept, &back), 0);

  // End without Begin: -1 and its box; Abort without Begin: no box.
  EXPECT_EQ(link_.End_Tran(), -1);
  link_.Abort_Tran();
  EXPECT_EQ(link_.GetLastStatus(), 39);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[1].text, " BO_ENDTRAN Status = 39");
}

TEST_F(Operations, PointLatRecordsAreMarkedOnInsertAndUpgradedOnRead) {
  Use({140});
  MessageBoxRecorder boxes;
  std::vector<char> older = MakeRecord(140, {"PL", "S"});
  older[55] = '0';
  for (int i = 64; i < 3000; ++i) {
    if (i != 55) older[i] = static_cast<char>(i * 7 + 1);
  }
  const std::vector<char> sent = older;

  // Inserted: stored with the mark, so read back without any move.
  ASSERT_EQ(link_.DB_Insert(140, older.data()), 0);
  EXPECT_EQ(older, sent);
  std::vector<char> back;
  ASSERT_EQ(Find(140, older, &back), 0);
  EXPECT_EQ(back[55], '1');
  back[55] = '0';
  EXPECT_EQ(back, sent);

  // An update writes the caller's bytes as they are: now stored unmarked,
  // so the next read upgrades it.
  ASSERT_EQ(link_.DB_Update(140, older.data()), 0);
  std::vector<char> data(3000, 0);
  char key[256] = {};
  ASSERT_EQ(link_.DB_GetFIRST(140, 0, data.data(), key), 0);
  EXPECT_EQ(data[55], '1');
  EXPECT_TRUE(std::equal(data.begin() + 504, data.begin() + 512, sent.begin() + 464));
  EXPECT_TRUE(std::all_of(data.begin() + 464, data.begin() + 504, [](char c) { return c == 0; }));
  EXPECT_TRUE(std::equal(data.begin() + 2932, data.end(), sent.begin() + 2932));

  // A read that finds nothing still passes the buffer through the upgrade.
  std::vector<char> empty(3000, 0);
  std::memset(key, 0, sizeof key);
  std::memcpy(key, "NONE", 4);
  EXPECT_EQ(link_.DB_GetEQ(140, 0, empty.data(), key), 4);
  std::vector<char> want(3000, 0);
  want[55] = '1';
  EXPECT_EQ(empty, want);
  EXPECT_EQ(boxes.count(), 0u);
}

}  // namespace
