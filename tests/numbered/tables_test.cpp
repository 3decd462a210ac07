// The number table and the work-key table, row by row, and the work copies
// and keys built from them.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "numbered/db_number_table.h"
#include "numbered/work_key_table.h"
#include "rec_link_peer.h"

namespace {

using reclink::numbered::FindDbNumber;
using reclink::numbered::FindWorkKeyRule;
using reclink::numbered::kDbNumbers;
using reclink::numbered::kWorkKeyRules;

TEST(Tables, EveryNumberHasItsOwnSlotIdentAndKeyRule) {
  CRecLink link;
  std::set<int> slots;
  for (const auto& row : kDbNumbers) {
    SCOPED_TRACE(row.dbno);
    EXPECT_TRUE(slots.insert(row.slot).second) << "slot shared";
    EXPECT_EQ(CRecLinkPeer::GetPos(link, row.dbno), CRecLinkPeer::Slot(link, row.slot));
    EXPECT_EQ(CRecLinkPeer::GetLen(link, row.dbno), row.recordLength);
    const auto* rule = FindWorkKeyRule(row.dbno);
    ASSERT_NE(rule, nullptr);
    EXPECT_LE(rule->keyLength, row.recordLength);
    EXPECT_EQ(rule->pointLatMark, row.dbno == 140);
    for (int i = 1; i < rule->fieldCount; ++i) {
      EXPECT_GT(rule->offsets[i], rule->offsets[i - 1]);
      EXPECT_LT(static_cast<unsigned>(rule->offsets[i]), rule->keyLength);
    }
    if (row.file == nullptr) {
      EXPECT_STREQ(row.ident, "");
      continue;
    }
    // The ident is the file's stem with "_DB", but for the patient file.
    const std::string stem(row.file, std::strlen(row.file) - 4);
    EXPECT_EQ(std::string(row.file).substr(stem.size()), ".BTR");
    EXPECT_EQ(row.ident, row.dbno == 110 ? std::string("PATIENT_DB") : stem + "_DB");
  }
  EXPECT_EQ(slots.size(), 32u);
  EXPECT_EQ(*slots.rbegin(), 31);
  EXPECT_EQ(std::size(kWorkKeyRules), std::size(kDbNumbers));
  for (int dbno : {0, -10, 100, 115, 370, 440, 500}) {
    EXPECT_EQ(CRecLinkPeer::GetPos(link, dbno), nullptr) << dbno;
    EXPECT_EQ(CRecLinkPeer::GetLen(link, dbno), 0u) << dbno;
  }
}

// The work copy and all 255 bytes of the work key that LockWkBuf builds.
std::pair<std::vector<char>, std::vector<char>> Prepare(int dbno, const std::vector<char>& record) {
  CRecLink link;
  std::vector<char> source = record;
  CRecLinkPeer::LockWkBuf(link, dbno, source.data());
  const char* copy = CRecLinkPeer::WorkCopy(link);
  const char* key = CRecLinkPeer::WorkKey(link);
  std::pair<std::vector<char>, std::vector<char>> out{
      {copy, copy + CRecLinkPeer::GetLen(link, dbno)}, {key, key + 255}};
  CRecLinkPeer::FreeWkBuf(link);
  EXPECT_EQ(source, record);  // the caller's record is only read
  return out;
}

// A record of length bytes of filler with the given bytes at the offsets.
std::vector<char> Record(size_t length, char filler,
                         const std::vector<std::pair<int, std::string>>& parts) {
  std::vector<char> record(length, filler);
  for (const auto& [offset, bytes] : parts) std::memcpy(&record[offset], bytes.data(), bytes.size());
  return record;
}

TEST(WorkBuffers, KeysAreTheTextsOfTheRecordAtTheirOffsets) {
  using Parts = std::vector<std::pair<int, std::string>>;
  struct Case {
    int dbno;
    Parts record;  // over a record of 'x'
    Parts key;     // over a key of zeros
  };
  const Case cases[] = {
      {250, {{0, std::string("P1\0junk", 7)}, {21, std::string("S\0", 2)}}, {{0, "P1"}, {21, "S"}}},
      {220, {{0, std::string("PAT\0", 4)}, {21, std::string("AB\0", 3)}, {25, std::string("CDE\0", 4)}},
       {{0, "PAT"}, {21, "AB"}, {25, "CDE"}}},
      {480, {{0, std::string("\0", 1)}, {21, std::string("S1\0", 3)}, {32, std::string("V\0", 2)}},
       {{21, "S1"}, {32, "V"}}},
      // The patient key is the raw prefix, bytes behind the zero included.
      {110, {{0, std::string("0000000042\0tail-bytes", 21)}},
       {{0, std::string("0000000042\0tail-bytes", 21)}}},
      // Texts are cut where the key ends (3 bytes here), never spill beyond it.
      {130, {}, {{0, "xxx"}}},
      // A text overrunning its field is overwritten by the next one.
      {120, {{0, std::string(30, 'L') + '\0'}}, {{0, std::string(30, 'L')}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dbno);
    const auto record = Record(FindDbNumber(c.dbno)->recordLength, 'x', c.record);
    const auto [copy, key] = Prepare(c.dbno, record);
    EXPECT_EQ(copy, record);
    EXPECT_EQ(key, Record(255, '\0', c.key));
  }
}

TEST(WorkBuffers, PointLatCopyIsMarkedCurrent) {
  const auto record = Record(3000, '0', {{0, std::string("PAT\0", 4)}});
  auto [copy, key] = Prepare(140, record);
  EXPECT_EQ(copy[55], '1');
  copy[55] = '0';
  EXPECT_EQ(copy, record);
  EXPECT_EQ(Prepare(160, Record(4000, '7', {})).first[55], '7');
}

}  // namespace
