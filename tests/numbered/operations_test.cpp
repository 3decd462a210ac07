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

namespace {

using reclink::numbered::kDbNumbers;
using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

class Operations : public ::testing::Test {
 protected:
  // Makes and opens the files of the given numbers (every file when none).
  void Use(std::vector<int> dbnos) {
    if (dbnos.empty()) {
      db_.CreateAll();
      for (const auto& row : kDbNumbers) {
        if (row.file != nullptr) dbnos.push_back(row.dbno);
      }
    } else {
      db_.Create(dbnos);
    }
    for (int dbno : dbnos) ASSERT_EQ(link_.DB_Open(dbno, 0), 0) << dbno;
  }
  void TearDown() override { link_.DB_Stop(); }

  // GetEQ on key 0 with the texts that start record; the record read, or
  // empty when the status is not 0.
  std::vector<char> Find(int dbno, const std::vector<char>& record, int* status = nullptr) {
    std::vector<char> out(record.size(), 0);
    char key[256] = {};
    std::memcpy(key, record.data(), std::min<size_t>(record.size(), 64));
    int s = link_.DB_GetEQ(dbno, 0, out.data(), key);
    if (status != nullptr) *status = s;
    return s == 0 ? out : std::vector<char>();
  }

  NumberedDb db_;
  CRecLink link_;
  MessageBoxRecorder boxes_;
};

TEST_F(Operations, EveryNumberWritesReadsAndDeletesInItsOwnFile) {
  Use({});
  // One record per number, every file open at once; each slot must reach
  // its own file, with the record length and key 0 of the catalogue.
  auto tag = [](int slot) { return std::string{char('A' + slot / 10), char('0' + slot % 10)}; };
  for (const auto& row : kDbNumbers) {
    if (row.file == nullptr) continue;
    std::vector<char> record = MakeRecord(row.dbno, {tag(row.slot), "A", "B"});
    record.back() = 'E';
    EXPECT_EQ(link_.DB_Insert(row.dbno, record.data()), 0) << row.dbno;
  }
  for (const auto& row : kDbNumbers) {
    if (row.file == nullptr) continue;
    SCOPED_TRACE(row.dbno);
    std::vector<char> buffer(40980, 0);
    ASSERT_EQ(link_.DB_Stat(row.dbno, buffer.data()), 0);
    BtrFileSpec stat;
    std::memcpy(&stat, buffer.data(), sizeof stat);
    const unsigned recordLength = stat.recordLength;  // packed fields: copied out
    const unsigned records = stat.numberOfRecords;
    EXPECT_EQ(recordLength, row.recordLength);
    EXPECT_EQ(records, 1u);

    std::vector<char> first(row.recordLength, 0);
    char key[256] = {};
    ASSERT_EQ(link_.DB_GetFIRST(row.dbno, 0, first.data(), key), 0);
    EXPECT_EQ(std::string(first.data()), tag(row.slot));
    EXPECT_EQ(first.back(), 'E');

    std::vector<char> changed = first;
    changed[row.recordLength - 2] = 'U';  // behind every key
    const std::vector<char> sent = changed;
    EXPECT_EQ(link_.DB_Update(row.dbno, changed.data()), 0);
    EXPECT_EQ(changed, sent);
    EXPECT_EQ(Find(row.dbno, first), sent);
    EXPECT_EQ(link_.DB_Delete(row.dbno, first.data()), 0);
    int status = 0;
    Find(row.dbno, first, &status);
    EXPECT_EQ(status, 4);
  }
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(Operations, OrdinaryOutcomesComeBackWithoutABox) {
  Use({250});
  std::vector<char> a = MakeRecord(250, {"P1", "A"});
  ASSERT_EQ(link_.DB_Insert(250, a.data()), 0);
  EXPECT_EQ(link_.DB_Insert(250, a.data()), 5);

  // Update and delete of a key that is not stored: 4, and no write at all.
  ScriptedBtrieve script;
  std::vector<char> missing = MakeRecord(250, {"P1", "Z"});
  const std::vector<char> before = missing;
  EXPECT_EQ(link_.DB_Update(250, missing.data()), 4);
  EXPECT_EQ(link_.DB_Delete(250, missing.data()), 4);
  EXPECT_EQ(script.CountOf(B_UPDATE) + script.CountOf(B_DELETE), 0u);
  EXPECT_EQ(missing, before);
  EXPECT_EQ(Find(250, a), a);

  std::vector<char> stat(40980, 0);
  EXPECT_EQ(link_.DB_Stat(250, stat.data()), 0);
  EXPECT_EQ(script.calls().back().dataLen, 40980u);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(Operations, ConflictIsReadAgainAndRetriedUntilItClears) {
  Use({470});
  std::vector<char> record = MakeRecord(470, {"PAT", "SUB", "V"});
  ASSERT_EQ(link_.DB_Insert(470, record.data()), 0);
  ScriptedBtrieve script;
  record[100] = 'u';
  script.Script(B_UPDATE, {80, 80, 80});
  EXPECT_EQ(link_.DB_Update(470, record.data()), 0);
  EXPECT_EQ(script.CountOf(B_UPDATE), 4u);
  EXPECT_EQ(script.CountOf(B_GET_EQUAL), 4u);  // the find, then one re-read per conflict
  EXPECT_EQ(Find(470, record), record);

  // The re-read finds the record gone: 4, silently, and no second update.
  script.ClearCalls();
  script.Script(B_UPDATE, {80});
  script.ScriptAfter(B_GET_EQUAL, {0, 4});
  EXPECT_EQ(link_.DB_Update(470, record.data()), 4);
  EXPECT_EQ(script.CountOf(B_UPDATE), 1u);

  // Another failure ends the loop with a box.
  script.Script(B_DELETE, {80, 80, 46});
  EXPECT_EQ(link_.DB_Delete(470, record.data()), 46);
  EXPECT_EQ(script.CountOf(B_DELETE), 3u);
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "TRACELAT_DB BO_DELETE Status = 46");
  script.Script(B_DELETE, {80});
  EXPECT_EQ(link_.DB_Delete(470, record.data()), 0);
  EXPECT_TRUE(Find(470, record).empty());
}

TEST_F(Operations, WritesWithoutWorkBuffersTouchNothing) {
  Use({190});
  ScriptedBtrieve script;
  std::vector<char> record = MakeRecord(190, {"D1"});
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link_.DB_Insert(190, record.data()), 101);
  reclink::platform::FailNextGlobalAllocs(2);
  EXPECT_EQ(link_.DB_Update(190, record.data()), 101);
  reclink::platform::FailNextGlobalAllocs(1);
  EXPECT_EQ(link_.DB_Delete(190, record.data()), 101);
  EXPECT_TRUE(script.calls().empty());
  ASSERT_EQ(boxes_.count(), 3u);
  EXPECT_EQ(boxes_.calls()[1].text, "DOCTOR_DB BO_UPDATE Status = 101");
  EXPECT_EQ(link_.DB_Insert(190, record.data()), 0);
}

TEST_F(Operations, TransactionsCommitOrUndoTheWrites) {
  Use({130});
  std::vector<char> kept = MakeRecord(130, {"K"});
  std::vector<char> undone = MakeRecord(130, {"U"});
  ASSERT_EQ(link_.Begin_Tran(), 0);
  ASSERT_EQ(link_.DB_Insert(130, undone.data()), 0);
  link_.Abort_Tran();
  EXPECT_TRUE(Find(130, undone).empty());

  ASSERT_EQ(link_.Begin_Tran(), 0);
  ASSERT_EQ(link_.DB_Insert(130, kept.data()), 0);
  EXPECT_EQ(link_.Begin_Tran(), -1);  // already in one
  EXPECT_EQ(link_.End_Tran(), 0);
  EXPECT_EQ(Find(130, kept), kept);

  EXPECT_EQ(link_.End_Tran(), -1);
  link_.Abort_Tran();  // never reports
  EXPECT_EQ(link_.GetLastStatus(), 39);
  ASSERT_EQ(boxes_.count(), 2u);
  EXPECT_EQ(boxes_.calls()[0].text, " BO_BEGIN Status = 37");
  EXPECT_EQ(boxes_.calls()[1].text, " BO_ENDTRAN Status = 39");
}

TEST_F(Operations, PointLatRecordsAreMarkedOnInsertAndUpgradedOnRead) {
  Use({140});
  std::vector<char> older = MakeRecord(140, {"PL", "S"});
  for (int i = 64; i < 3000; ++i) older[i] = static_cast<char>(i * 7 + 1);
  older[55] = '0';
  const std::vector<char> sent = older;

  // Inserted with the mark, so read back as it was sent.
  ASSERT_EQ(link_.DB_Insert(140, older.data()), 0);
  EXPECT_EQ(older, sent);
  std::vector<char> back = Find(140, older);
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(back[55], '1');
  back[55] = '0';
  EXPECT_EQ(back, sent);

  // An update writes the caller's bytes unmarked: the next read upgrades.
  ASSERT_EQ(link_.DB_Update(140, older.data()), 0);
  std::vector<char> data(3000, 0);
  char key[256] = {};
  ASSERT_EQ(link_.DB_GetFIRST(140, 0, data.data(), key), 0);
  EXPECT_EQ(data[55], '1');
  EXPECT_TRUE(std::equal(data.begin() + 504, data.begin() + 512, sent.begin() + 464));
  EXPECT_TRUE(std::all_of(data.begin() + 464, data.begin() + 504, [](char c) { return c == 0; }));

  // A read that finds nothing still passes the buffer through the upgrade.
  std::vector<char> empty(3000, 0);
  std::memcpy(key, "NONE", 5);
  EXPECT_EQ(link_.DB_GetEQ(140, 0, empty.data(), key), 4);
  std::vector<char> want(3000, 0);
  want[55] = '1';
  EXPECT_EQ(empty, want);
  EXPECT_EQ(boxes_.count(), 0u);
}

}  // namespace
