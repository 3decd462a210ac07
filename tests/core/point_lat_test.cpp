// The point-lat upgrade, byte by byte, and where the gate applies it.

#include <gtest/gtest.h>

#include <vector>

#include "core/core_test_util.h"
#include "core/point_lat.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

using Record = std::vector<unsigned char>;

// An older-layout record whose bytes tell their offsets apart.
Record OlderRecord() {
  Record r(kPointLatRecordLength);
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>((i * 7 + i / 256) | 1);
  r[kPointLatMarkOffset] = '0';
  return r;
}

TEST(PointLatConv, MovesEveryBlockOfTheOlderLayout) {
  const Record older = OlderRecord();
  Record r = older;
  PointLatConv(r.data());

  // From the block map: {older offset, current offset, bytes}.
  const int moved[][3] = {{0, 0, 55},         {56, 56, 408},      {464, 504, 8},
                          {472, 512, 100},    {572, 612, 600},    {1176, 1216, 800},
                          {1976, 2016, 8},    {1984, 2024, 480},  {2464, 2504, 4},
                          {2472, 2512, 320},  {2792, 2832, 40},   {2832, 2872, 60},
                          {1212, 1212, 4},    {2508, 2508, 4},    {2932, 2932, 68}};
  int covered = 1 + 40;  // the mark and the new pairs
  for (const auto& m : moved) {
    EXPECT_TRUE(std::equal(older.begin() + m[0], older.begin() + m[0] + m[2], r.begin() + m[1]))
        << "block at older offset " << m[0];
    covered += m[2];
  }
  EXPECT_EQ(covered, kPointLatRecordLength);
  EXPECT_EQ(r[kPointLatMarkOffset], '1');
  EXPECT_EQ(Record(r.begin() + 464, r.begin() + 504), Record(40, 0));

  // Once current, a record is left exactly as it is.
  const Record once = r;
  PointLatConv(r.data());
  EXPECT_EQ(r, once);
  for (unsigned char mark : {' ', '\0', '2'}) {  // every other mark means older
    Record other = older;
    other[kPointLatMarkOffset] = mark;
    PointLatConv(other.data());
    EXPECT_EQ(other, once) << int(mark);
  }
}

TEST(PointLatGate, EveryKeyedReadUpgradesWhateverItsStatusAndNothingElseDoes) {
  MessageBoxRecorder boxes;
  FakeManager manager([](const RawCall&) { return 4; });  // nothing read
  const Record upgradedZero = [] {
    Record r(kPointLatRecordLength, 0);
    r[kPointLatMarkOffset] = '1';
    return r;
  }();
  for (auto read : {&CBaseRecLink::GetEQ, &CBaseRecLink::GetNEXT, &CBaseRecLink::GetPREV,
                    &CBaseRecLink::GetGR, &CBaseRecLink::GetGREQ, &CBaseRecLink::GetLESS,
                    &CBaseRecLink::GetLEEQ, &CBaseRecLink::GetFIRST, &CBaseRecLink::GetLAST}) {
    TestRecord rec("POINTLAT_DB", "/x/POINTLAT.BTR");
    (rec.*read)();
    EXPECT_EQ(rec.bytes(), upgradedZero);
  }
  TestRecord other("POINTLAT_DB", "/x/POINTLAT.BTR");
  other.GetDirect();
  other.AbortTran();
  other.Delete();
  other.Close();
  EXPECT_EQ(other.bytes(), Record(kPointLatRecordLength, 0));

  TestRecord lower("pointlat_db", "/x/POINTLAT.BTR");  // compared exactly
  lower.GetEQ();
  EXPECT_EQ(lower.bytes(), Record(kPointLatRecordLength, 0));

  TestRecord bare("POINTLAT_DB", "/x/POINTLAT.BTR");
  bare.SetDataBuffer(nullptr);  // passes the gate unharmed
  EXPECT_EQ(bare.GetEQ(), 4);
  EXPECT_EQ(bare.Insert(), 4);
}

}  // namespace
}  // namespace reclink::test
