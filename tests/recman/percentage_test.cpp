// Get By Percentage and Find Percentage: a record by how far along its path
// it stands, and how far a record stands, on a key path and in physical
// order; the two agree with each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 16;
constexpr int kRecords = 101;  // r000 to r100: a percentage per hundredth of the way

std::string Name(int i) {
  char name[8];
  std::snprintf(name, sizeof name, "r%03d", i);
  return name;
}

class PercentageTest : public ::testing::Test {
 protected:
  // The records go in shuffled, so that physical order is not key order;
  // key 1 puts them in three groups of duplicates.
  void SetUp() override {
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 2, {{1, 8, 0}, {11, 3, B_KEY_DUPLICATES}})), 0);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Open(path_), 0);
    for (int i = 0; i < kRecords; ++i) inserted_.push_back(i);
    std::shuffle(inserted_.begin(), inserted_.end(), std::mt19937(7));
    for (int i : inserted_) {
      ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, Name(i)}, {10, "g" + std::to_string(i % 3)}})), 0);
    }
  }
  void TearDown() override { Tx(B_RESET); }

  // Get By Percentage along keyNum (-1: physical order).
  int GetBy(uint32_t percentage, int8_t keyNum, uint16_t op = B_GET_BY_PERCENTAGE) {
    std::string buffer(kLen, '\0');
    std::memcpy(buffer.data(), &percentage, 2);
    return f_.Write(op, buffer, keyNum);
  }
  // Find Percentage of the record with key value `key` (or, with keyNum
  // -1, at `position`); the percentage or, on failure, the status + 100000.
  uint32_t Find(int8_t keyNum, const std::string& key, uint32_t position = 0) {
    std::memset(f_.keyBuf, 0, sizeof f_.keyBuf);
    std::memcpy(f_.keyBuf, key.data(), key.size());
    const int status = f_.Write(B_FIND_PERCENTAGE, std::string(reinterpret_cast<char*>(&position), 4), keyNum);
    if (status != 0) return 100000 + status;
    EXPECT_EQ(f_.dataLen, 4u);
    uint32_t percentage = 0;
    std::memcpy(&percentage, f_.data.data(), 4);
    return percentage;
  }

  TempDir dir_;
  const std::string path_ = dir_.file("scroll.dat");
  BtrFile f_;
  std::vector<int> inserted_;  // the record numbers in the order they went in
};

TEST_F(PercentageTest, GetByPercentageReadsAlongAKeyOrInPhysicalOrder) {
  struct Case {
    uint32_t percentage;
    int record;  // on key 0: the record number; in physical order: the index into inserted_
  };
  for (const Case& c : {Case{0, 0}, {10000, 100}, {5000, 50}, {3333, 33}, {9949, 99}, {9951, 100}}) {
    SCOPED_TRACE(c.percentage);
    ASSERT_EQ(GetBy(c.percentage, 0), 0);
    EXPECT_EQ(f_.Field(0), Name(c.record));
    EXPECT_EQ(f_.Key(5), Name(c.record) + '\0') << "the key buffer holds the record's key";
    ASSERT_EQ(GetBy(c.percentage, -1), 0);
    EXPECT_EQ(f_.Field(0), Name(inserted_[c.record]));
  }
  // On a key path the record becomes current on it; in physical order it is
  // where Step moves on from, and there is no place on a key path.
  ASSERT_EQ(GetBy(5000, 0), 0);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), Name(51));
  ASSERT_EQ(GetBy(5000, -1), 0);
  ASSERT_EQ(f_.Step(B_STEP_NEXT), 0);
  EXPECT_EQ(f_.Field(0), Name(inserted_[51]));
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  // A key with duplicates: the groups in key order, each in insertion order.
  ASSERT_EQ(GetBy(0, 1), 0);
  const auto firstOfGroup = std::find_if(inserted_.begin(), inserted_.end(), [](int i) { return i % 3 == 0; });
  EXPECT_EQ(f_.Field(0), Name(*firstOfGroup));
  // A lock bias locks the record read, against other clients.
  ASSERT_EQ(GetBy(0, 0, B_GET_BY_PERCENTAGE + 200), 0);
  static const char kOtherClient[16] = "other client";
  BtrFile other(kLen);
  other.client = kOtherClient;
  ASSERT_EQ(other.Open(path_), 0);
  ASSERT_EQ(other.Get(B_GET_FIRST, 0), 0);
  EXPECT_EQ(other.Update(other.Record()), B_RECORD_INUSE);
}

TEST_F(PercentageTest, FindPercentageIsWhereGetByPercentageGoes) {
  EXPECT_EQ(Find(0, Name(0)), 0u);
  EXPECT_EQ(Find(0, Name(25)), 2500u);
  EXPECT_EQ(Find(0, Name(100)), 10000u);
  EXPECT_EQ(Find(1, "g1"), 3400u) << "the first of the group: 34 records stand before it";
  for (int i = 0; i < kRecords; i += 7) {
    SCOPED_TRACE(i);
    const uint32_t percentage = Find(0, Name(i));
    ASSERT_EQ(GetBy(percentage, 0), 0);
    EXPECT_EQ(f_.Field(0), Name(i));
    const uint32_t position = f_.Position();
    ASSERT_EQ(GetBy(Find(-1, "", position), -1), 0);
    EXPECT_EQ(f_.Field(0), Name(i));
  }
  // Find Percentage leaves the currency where it was.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, Name(10)), 0);
  EXPECT_EQ(Find(0, Name(90)), 9000u);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), Name(11));
}

TEST_F(PercentageTest, WhatCannotBeFoundOrRead) {
  EXPECT_EQ(Find(0, "r999"), 100000u + B_KEY_VALUE_NOT_FOUND);
  EXPECT_EQ(Find(-1, "", 999999), 100000u + B_BAD_RECORD_ADDRESS);
  EXPECT_EQ(Find(2, Name(1)), 100000u + B_INVALID_KEYNUMBER);
  EXPECT_EQ(GetBy(10001, 0), B_END_OF_FILE) << "beyond the end of the path";
  EXPECT_EQ(GetBy(0, 2), B_INVALID_KEYNUMBER);
  EXPECT_EQ(GetBy(0, 0, B_FIND_PERCENTAGE + 200), B_INVALID_FUNCTION);
  EXPECT_EQ(f_.Write(B_GET_BY_PERCENTAGE, std::string(2, '\0'), 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(f_.Write(B_GET_BY_PERCENTAGE, std::string(8, '\0'), 0), B_DATALENGTH_ERROR)
      << "a buffer too short for the record";
  f_.keyLen = 4;
  EXPECT_EQ(GetBy(0, 0), B_KEY_BUFFER_TOO_SHORT);
  f_.keyLen = 255;

  const std::string empty = dir_.file("empty.dat");
  ASSERT_EQ(CreateFile(empty, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
  BtrFile e(kLen);
  ASSERT_EQ(e.Open(empty), 0);
  EXPECT_EQ(e.Write(B_GET_BY_PERCENTAGE, std::string(kLen, '\0'), 0), B_END_OF_FILE);
  EXPECT_EQ(e.Write(B_GET_BY_PERCENTAGE, std::string(kLen, '\0'), -1), B_END_OF_FILE);
}

}  // namespace
}  // namespace reclink::test
