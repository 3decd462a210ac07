// The point-lat upgrade, byte by byte, and where the gate applies it.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/core_test_util.h"
#include "core/point_lat.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

using Record = std::vector<unsigned char>;

// An older-layout record whose every byte tells its offset apart.
Record OlderRecord() {
  Record r(kPointLatRecordLength);
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>((i * 7 + i / 256) | 1);
  r[kPointLatMarkOffset] = '0';
  return r;
}

// The record an upgrade of older must give, built from the block map: runs
// that move (older offset, current offset, bytes), runs that stay, and the
// zeroed new pairs.
Record ExpectedUpgrade(const Record& older) {
  struct Run {
    int from, to, bytes;
  };
  const Run runs[] = {
      {0, 0, 64},        {64, 64, 400},     {464, 504, 8},     {472, 512, 100},
      {572, 612, 600},   {1176, 1216, 800}, {1976, 2016, 2},
      {1978, 2018, 2},   {1980, 2020, 2},   {1982, 2022, 2},   {1984, 2024, 480},
      {2464, 2504, 2},   {2466, 2506, 2},   {2472, 2512, 320}, {2792, 2832, 40},
      {2832, 2872, 60},
  };
  Record r = older;  // gaps and the current tail keep the older bytes at their offsets
  std::memset(r.data() + 464, 0, 40);
  for (const Run& run : runs) std::memcpy(r.data() + run.to, older.data() + run.from, run.bytes);
  r[kPointLatMarkOffset] = '1';
  return r;
}

// First differing offset, or -1.
int FirstDifference(const Record& a, const Record& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return static_cast<int>(i);
  }
  return -1;
}

TEST(PointLatConv, MovesEveryBlockOfTheOlderLayout) {
  const Record older = OlderRecord();
  Record r = older;
  PointLatConv(r.data());
  EXPECT_EQ(FirstDifference(r, ExpectedUpgrade(older)), -1);

  // Spot checks against the older bytes, independent of the map above.
  EXPECT_EQ(r[55], '1');
  EXPECT_EQ(std::memcmp(r.data(), older.data(), 55), 0);
  EXPECT_EQ(std::memcmp(r.data() + 56, older.data() + 56, 464 - 56), 0);
  EXPECT_EQ(std::memcmp(r.data() + 2932, older.data() + 2932, 68), 0);
  EXPECT_EQ(std::memcmp(r.data() + 1212, older.data() + 1212, 4), 0);
  EXPECT_EQ(std::memcmp(r.data() + 2508, older.data() + 2508, 4), 0);
  EXPECT_EQ(std::memcmp(r.data() + 2872, older.data() + 2832, 60), 0);
  for (int i = 464; i < 504; ++i) ASSERT_EQ(r[i], 0) << "new pair byte " << i;
}

TEST(PointLatConv, CarriesTheDoubleAndLeavesCurrentRecordsAlone) {
  Record older(kPointLatRecordLength, 0);
  const double value = -1234.5678;
  std::memcpy(older.data() + 464, &value, sizeof value);
  Record r = older;
  PointLatConv(r.data());
  double moved = 0;
  std::memcpy(&moved, r.data() + 504, sizeof moved);
  EXPECT_EQ(moved, value);
  for (int i = 464; i < 504; ++i) ASSERT_EQ(r[i], 0) << "byte " << i;

  // Once upgraded, a second pass changes nothing.
  const Record once = r;
  PointLatConv(r.data());
  EXPECT_EQ(FirstDifference(r, once), -1);

  // A record marked current is not touched, whatever else it holds.
  Record current = OlderRecord();
  current[kPointLatMarkOffset] = '1';
  const Record before = current;
  PointLatConv(current.data());
  EXPECT_EQ(FirstDifference(current, before), -1);

  // Any other mark means the older layout: a blank, a zero, another digit.
  for (unsigned char mark : {' ', '\0', '2'}) {
    Record other = OlderRecord();
    other[kPointLatMarkOffset] = mark;
    PointLatConv(other.data());
    EXPECT_EQ(other[kPointLatMarkOffset], '1');
    EXPECT_EQ(other[464], 0) << "mark " << int(mark);
  }
}

// The gate, for the one file whose records it upgrades.
class PointLatGate : public ::testing::Test {
 protected:
  MessageBoxRecorder boxes_;
};

TEST_F(PointLatGate, KeyedReadsUpgradeWhateverTheStatus) {
  const std::vector<int (CBaseRecLink::*)()> reads = {
      &CBaseRecLink::GetEQ,   &CBaseRecLink::GetNEXT, &CBaseRecLink::GetPREV,
      &CBaseRecLink::GetGR,   &CBaseRecLink::GetGREQ, &CBaseRecLink::GetLESS,
      &CBaseRecLink::GetLEEQ, &CBaseRecLink::GetFIRST, &CBaseRecLink::GetLAST};
  for (auto read : reads) {
    FakeManager manager([](const RawCall&) { return 4; });  // nothing read
    TestRecord rec("POINTLAT_DB", "/x/POINTLAT.BTR");
    (rec.*read)();
    for (int i = 0; i < kPointLatRecordLength; ++i) {
      ASSERT_EQ(rec.record()[i], i == kPointLatMarkOffset ? '1' : 0) << "byte " << i;
    }
  }
}

TEST_F(PointLatGate, ReadsOlderRecordsAsCurrent) {
  const Record older = OlderRecord();
  FakeManager manager([&](const RawCall& call) {
    if (call.op == B_GET_FIRST) std::memcpy(call.data, older.data(), older.size());
    return 0;
  });
  TestRecord rec("POINTLAT_DB", "/x/POINTLAT.BTR");
  ASSERT_EQ(rec.GetFIRST(), 0);
  const Record got(rec.record(), rec.record() + kPointLatRecordLength);
  EXPECT_EQ(FirstDifference(got, ExpectedUpgrade(older)), -1);
}

TEST_F(PointLatGate, PositionalReadsAndOtherFilesAreHandedOverAsStored) {
  const Record older = OlderRecord();
  FakeManager manager([&](const RawCall& call) {
    if ((call.op == B_GET_DIRECT || call.op == B_GET_EQUAL) && call.data != nullptr) {
      std::memcpy(call.data, older.data(), older.size());
    }
    return 0;
  });
  TestRecord direct("POINTLAT_DB", "/x/POINTLAT.BTR");
  ASSERT_EQ(direct.GetByPosition(1), 0);
  EXPECT_EQ(FirstDifference(Record(direct.record(), direct.record() + 3000), older), -1);

  // Nor do calls that read no record touch the buffer.
  TestRecord other("POINTLAT_DB", "/x/POINTLAT.BTR");
  other.AbortTran();
  other.ResetBtrv();
  other.Delete();
  other.Close();
  EXPECT_EQ(FirstDifference(Record(other.record(), other.record() + 3000),
                            Record(kPointLatRecordLength, 0)),
            -1);

  // The ident is compared exactly.
  TestRecord lower("pointlat_db", "/x/POINTLAT.BTR");
  ASSERT_EQ(lower.GetEQ(), 0);
  EXPECT_EQ(FirstDifference(Record(lower.record(), lower.record() + 3000), older), -1);

  // A point-lat object without a data buffer passes the gate unharmed.
  TestRecord bare("POINTLAT_DB", "/x/POINTLAT.BTR");
  bare.SetDataBuffer(nullptr);
  EXPECT_EQ(bare.GetEQ(), 0);
  EXPECT_EQ(bare.Insert(), 0);
}

TEST_F(PointLatGate, WritesAreMarkedCurrentWithoutMovingAnything) {
  const Record older = OlderRecord();
  std::vector<Record> written;
  FakeManager manager([&](const RawCall& call) {
    if (call.op == B_INSERT || call.op == B_UPDATE) {
      written.emplace_back(call.data, call.data + kPointLatRecordLength);
    }
    return 0;
  });
  TestRecord rec("POINTLAT_DB", "/x/POINTLAT.BTR");
  std::memcpy(rec.record(), older.data(), older.size());
  ASSERT_EQ(rec.Insert(), 0);
  std::memcpy(rec.record(), older.data(), older.size());
  ASSERT_EQ(rec.Update(), 0);  // the re-read upgrades; the caller's bytes are written

  ASSERT_EQ(written.size(), 2u);
  Record marked = older;
  marked[kPointLatMarkOffset] = '1';
  EXPECT_EQ(FirstDifference(written[0], marked), -1);
  EXPECT_EQ(FirstDifference(written[1], marked), -1);
}

}  // namespace
}  // namespace reclink::test
