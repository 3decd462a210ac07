// The number table and the work-key table, row by row, and the work copies
// and keys built from them.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "numbered/db_number_table.h"
#include "numbered/work_key_table.h"
#include "platform/winapi.h"
#include "rec_link_peer.h"

namespace {

using reclink::numbered::FindDbNumber;
using reclink::numbered::FindWorkKeyRule;
using reclink::numbered::kDbNumbers;
using reclink::numbered::kWorkKeyRules;

TEST(NumberTable, EveryRowHasItsOwnSlotAndAConsistentIdent) {
  CRecLink link;
  std::set<int> slots;
  std::set<const char*> positions;
  for (const auto& row : kDbNumbers) {
    SCOPED_TRACE(row.dbno);
    EXPECT_EQ(FindDbNumber(row.dbno), &row);
    EXPECT_TRUE(slots.insert(row.slot).second) << "slot shared";
    EXPECT_EQ(CRecLinkPeer::GetPos(link, row.dbno), CRecLinkPeer::Slot(link, row.slot));
    EXPECT_TRUE(positions.insert(CRecLinkPeer::GetPos(link, row.dbno)).second);
    EXPECT_EQ(CRecLinkPeer::GetLen(link, row.dbno), row.recordLength);
    EXPECT_GT(row.recordLength, 0u);
    if (row.file == nullptr) {
      EXPECT_STREQ(row.ident, "");
      continue;
    }
    // The ident is the file's stem with "_DB", but for the patient file.
    std::string stem(row.file, std::strlen(row.file) - 4);
    EXPECT_STREQ(row.file + stem.size(), ".BTR");
    if (row.dbno == 110) {
      EXPECT_STREQ(row.ident, "PATIENT_DB");
    } else {
      EXPECT_EQ(row.ident, stem + "_DB");
    }
  }
  EXPECT_EQ(slots.size(), 32u);
  EXPECT_EQ(*slots.begin(), 0);
  EXPECT_EQ(*slots.rbegin(), 31);
}

TEST(NumberTable, NumbersOutsideTheTableHaveNoSlotAndNoLength) {
  CRecLink link;
  for (int dbno : {0, -10, 100, 115, 370, 380, 400, 440, 500, 1100}) {
    SCOPED_TRACE(dbno);
    EXPECT_EQ(FindDbNumber(dbno), nullptr);
    EXPECT_EQ(CRecLinkPeer::GetPos(link, dbno), nullptr);
    EXPECT_EQ(CRecLinkPeer::GetLen(link, dbno), 0u);
  }
}

TEST(WorkKeyTable, EveryNumberHasARuleThatFitsItsRecord) {
  ASSERT_EQ(std::size(kWorkKeyRules), std::size(kDbNumbers));
  for (const auto& rule : kWorkKeyRules) {
    SCOPED_TRACE(rule.dbno);
    const auto* row = FindDbNumber(rule.dbno);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(FindWorkKeyRule(rule.dbno), &rule);
    EXPECT_LE(rule.keyLength, row->recordLength);
    EXPECT_LE(rule.keyLength, 255u);
    EXPECT_EQ(rule.pointLatMark, rule.dbno == 140);
    // Offsets rise and leave every field room for at least its zero.
    for (int i = 0; i < rule.fieldCount; ++i) {
      EXPECT_LT(static_cast<unsigned>(rule.offsets[i]), rule.keyLength);
      if (i > 0) {
        EXPECT_GT(rule.offsets[i], rule.offsets[i - 1]);
      }
    }
    if (rule.fieldCount > 0) {
      EXPECT_EQ(rule.offsets[0], 0);
    }
  }
}

// Builds the work copy and key of record for dbno through the object.
struct Prepared {
  std::vector<char> copy;
  std::vector<char> key;  // all 255 bytes of the work key block
};

Prepared Prepare(int dbno, std::vector<char>& record) {
  CRecLink link;
  CRecLinkPeer::LockWkBuf(link, dbno, record.data());
  Prepared out;
  const char* copy = CRecLinkPeer::WorkCopy(link);
  const char* key = CRecLinkPeer::WorkKey(link);
  EXPECT_NE(copy, nullptr);
  EXPECT_NE(key, nullptr);
  if (copy != nullptr && key != nullptr) {
    out.copy.assign(copy, copy + CRecLinkPeer::GetLen(link, dbno));
    out.key.assign(key, key + 255);
  }
  CRecLinkPeer::FreeWkBuf(link);
  return out;
}

std::vector<char> Bytes(const char* text, size_t n) { return std::vector<char>(text, text + n); }

TEST(WorkBuffers, KeysAreBuiltFromTheTextsOfTheRecord) {
  // The common key: texts at 0 and 21, everything behind them zero.
  std::vector<char> record(400, 'x');
  std::memcpy(record.data(), "P0001\0junk", 10);
  std::memcpy(record.data() + 21, "SUB\0more", 8);
  Prepared p = Prepare(250, record);
  ASSERT_EQ(p.copy.size(), 400u);
  EXPECT_EQ(p.copy, record);
  std::vector<char> want(255, 0);
  std::memcpy(want.data(), "P0001", 5);
  std::memcpy(want.data() + 21, "SUB", 3);
  EXPECT_EQ(p.key, want);

  // Number 220: three texts in 21, 4 and 4 bytes of a 29-byte key.
  std::vector<char> reg(32, 'y');
  std::memcpy(reg.data(), "PAT\0", 4);
  std::memcpy(reg.data() + 21, "AB\0", 3);
  std::memcpy(reg.data() + 25, "CDE\0", 4);
  p = Prepare(220, reg);
  want.assign(255, 0);
  std::memcpy(want.data(), "PAT", 3);
  std::memcpy(want.data() + 21, "AB", 2);
  std::memcpy(want.data() + 25, "CDE", 3);
  EXPECT_EQ(p.key, want);

  // Numbers 470 and 480 end in a 3-byte field at 32.
  std::vector<char> trace(2000, 'z');
  std::memcpy(trace.data(), "\0", 1);
  std::memcpy(trace.data() + 21, "S1\0", 3);
  std::memcpy(trace.data() + 32, "V\0", 2);
  p = Prepare(480, trace);
  want.assign(255, 0);  // an empty first text leaves its field all zero
  std::memcpy(want.data() + 21, "S1", 2);
  want[32] = 'V';
  EXPECT_EQ(p.key, want);
}

TEST(WorkBuffers, PatientKeyIsTheRawPrefix) {
  std::vector<char> record(3600, 'q');
  std::memcpy(record.data(), "0000000042\0tail-bytes", 21);
  Prepared p = Prepare(110, record);
  std::vector<char> want(255, 0);
  std::memcpy(want.data(), record.data(), 21);
  EXPECT_EQ(p.key, want);
  EXPECT_EQ(Bytes(p.key.data() + 11, 10), Bytes("tail-bytes", 10));
}

TEST(WorkBuffers, PointLatCopyIsMarkedButTheCallersRecordIsNot) {
  std::vector<char> record(3000, 0);
  std::memcpy(record.data(), "PATIENT", 7);
  record[55] = '0';
  const std::vector<char> before = record;
  Prepared p = Prepare(140, record);
  EXPECT_EQ(p.copy[55], '1');
  EXPECT_EQ(record, before);
  p.copy[55] = '0';
  EXPECT_EQ(p.copy, before);
  // Other numbers keep byte 55 as it stands.
  std::vector<char> other(4000, 0);
  other[55] = '7';
  EXPECT_EQ(Prepare(160, other).copy[55], '7');
}

TEST(WorkBuffers, TextsNeverRunPastTheKey) {
  // Number 130's key is 3 bytes; a text of 10 bytes without its zero must
  // not spill beyond the key into the rest of the block.
  std::vector<char> record(64, 'A');
  Prepared p = Prepare(130, record);
  std::vector<char> want(255, 0);
  std::memset(want.data(), 'A', 3);
  EXPECT_EQ(p.key, want);
  // A first text that overruns its field is cut by the next one.
  std::vector<char> common(80, 0);
  std::memset(common.data(), 'L', 30);
  std::memcpy(common.data() + 30, "\0", 1);
  p = Prepare(120, common);
  want.assign(255, 0);
  std::memset(want.data(), 'L', 21);
  std::memset(want.data() + 21, 'L', 9);  // the text at 21 is the rest of the first
  EXPECT_EQ(p.key, want);
}

TEST(WorkBuffers, AFailedAllocationLeavesNoWorkBuffers) {
  // One failure hits the copy and the key block is given back (the leak
  // checker notices if not); two failures hit both.
  for (int failures : {1, 2}) {
    SCOPED_TRACE(failures);
    CRecLink link;
    std::vector<char> record(80, 'r');
    reclink::platform::FailNextGlobalAllocs(failures);
    CRecLinkPeer::LockWkBuf(link, 120, record.data());
    EXPECT_EQ(CRecLinkPeer::WorkCopy(link), nullptr);
    EXPECT_EQ(CRecLinkPeer::WorkKey(link), nullptr);
    CRecLinkPeer::FreeWkBuf(link);  // nothing left to release, nothing released twice
  }
}

}  // namespace
