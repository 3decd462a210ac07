// Currency at the edges the randomized model does not reach: a fresh block,
// short buffers, positions never handed out again, the Get Key walk over
// duplicates. Walks, Delete and Update in the middle of a walk, Step and Get
// Direct in general are the model's (model_test.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 32;  // name: zstring 21 at 0, key 0

TEST(CurrencyTest, FreshBlocksShortBuffersAndPositions) {
  TempDir dir;
  const std::string path = dir.file("people.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 21, 0}})), 0);
  BtrFile f(kLen), g(kLen);
  ASSERT_EQ(f.Open(path), 0);
  for (const char* n : {"m", "k", "x", "a"}) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, n}})), 0);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "k"), 0);
  const uint32_t posK = f.Position();
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "x"), 0);
  const uint32_t posX = f.Position();
  ASSERT_NE(posK, posX);

  // A fresh block has no currency to walk on, write or report.
  ASSERT_EQ(g.Open(path), 0);
  EXPECT_EQ(g.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  EXPECT_EQ(g.Delete(), B_POSITION_NOT_SET);
  uint32_t p = 0, len = 4;
  EXPECT_EQ(BTRCALL(B_GET_POSITION, g.pos, &p, &len, g.keyBuf, 255, 0), B_POSITION_NOT_SET);

  // Without a key path: the record, and nothing to walk on.
  ASSERT_EQ(g.Direct(posK, -1), 0);
  EXPECT_EQ(g.Field(0), "k");
  EXPECT_EQ(g.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  // With key 0: its value comes back and Next walks on from it.
  ASSERT_EQ(g.Direct(posK, 0), 0);
  EXPECT_STREQ(g.keyBuf, "k");
  ASSERT_EQ(g.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(g.Field(0), "m");
  // A short buffer gives 22, yet the currency is set.
  EXPECT_EQ(g.Direct(posX, 0, 10), B_DATALENGTH_ERROR);
  ASSERT_EQ(g.Get(B_GET_PREVIOUS, 0), 0);
  EXPECT_EQ(g.Field(0), "m");
  // Unknown and deleted positions; positions are never handed out again.
  EXPECT_EQ(g.Direct(posX + 1000, -1), B_BAD_RECORD_ADDRESS);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "k"), 0);
  ASSERT_EQ(f.Delete(), 0);
  EXPECT_EQ(g.Direct(posK, -1), B_BAD_RECORD_ADDRESS);
  ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "k"}})), 0);
  EXPECT_GT(f.Position(), posX);

  // An Insert with key number -1 moves the physical currency only.
  ASSERT_EQ(g.Get(B_GET_EQUAL, 0, "m"), 0);
  ASSERT_EQ(g.Insert(MakeRecord(kLen, {{0, "b"}}), -1), 0);
  const uint32_t posB = g.Position();
  ASSERT_EQ(g.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(g.Field(0), "x");
  ASSERT_EQ(g.Direct(posB, -1), 0);
  EXPECT_EQ(g.Field(0), "b");
}

// Get Key Next and Previous step through duplicates entry by entry, as Get
// Next and Previous do, and each kind of walk goes on from where the other
// left the block. Get Position names the entry a Get Key stands on.
TEST(CurrencyTest, KeyOnlyWalksStepThroughDuplicates) {
  TempDir dir;
  const std::string path = dir.file("groups.dat");
  // name zstring 10 at 0 (key 0); group zstring 4 at 10 (key 1, duplicates)
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 2, {{1, 10, 0}, {11, 4, B_KEY_DUPLICATES}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  std::map<uint32_t, std::string> names;
  for (const char* n : {"b1", "a1", "b2", "c1", "b3"}) {
    ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, n}, {10, std::string(1, n[0])}})), 0);
    names[f.Position()] = n;
  }
  const uint16_t keyNext = B_GET_NEXT + B_GET_KEY, keyPrevious = B_GET_PREVIOUS + B_GET_KEY;
  ASSERT_EQ(f.Get(B_GET_EQUAL + B_GET_KEY, 1, "b"), 0);
  std::string walk = names[f.Position()];
  for (uint16_t op : {keyNext, keyNext, keyNext, keyPrevious, keyPrevious}) {
    ASSERT_EQ(f.Get(op, 1), 0) << walk;
    walk += " " + names[f.Position()];
  }
  EXPECT_EQ(walk, "b1 b2 b3 c1 b3 b2");
  // A Get after a Get Key, and a Get Key after a Get.
  ASSERT_EQ(f.Get(B_GET_NEXT, 1), 0);
  EXPECT_EQ(f.Field(0), "b3");
  ASSERT_EQ(f.Get(B_GET_PREVIOUS, 1), 0);
  EXPECT_EQ(f.Field(0), "b2");
  ASSERT_EQ(f.Get(keyPrevious, 1), 0);
  EXPECT_EQ(names[f.Position()], "b1");
  ASSERT_EQ(f.Get(keyNext, 1), 0);
  EXPECT_EQ(names[f.Position()], "b2");
  EXPECT_EQ(f.Key(2), std::string("b\0", 2));
}

// A position handed out inside an aborted transaction names no record
// later, whether the file had records before or not.
TEST(CurrencyTest, AbortedInsertsLeaveTheirPositionsUnused) {
  TempDir dir;
  const std::string path = dir.file("people.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 21, 0}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  for (const char* kept : {"first", "second"}) {
    ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
    ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "gone"}})), 0);
    const uint32_t gone = f.Position();
    ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
    ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, kept}})), 0);
    EXPECT_GT(f.Position(), gone) << kept;
    EXPECT_EQ(f.Direct(gone, -1), B_BAD_RECORD_ADDRESS) << kept;
  }
}

// A buffer that holds the fixed part of a variable-length record but not
// the rest gets what fits, with 22; one shorter than the fixed part gets
// nothing.
TEST(CurrencyTest, ShortBufferGetsThePartOfAVariableRecordThatFits) {
  TempDir dir;
  const std::string path = dir.file("notes.dat");
  std::vector<uint8_t> spec = MakeSpec(kLen, 1, {{1, 21, 0}});
  const uint16_t variable = B_FILE_VARIABLE_LENGTH;
  std::memcpy(spec.data() + offsetof(BtrFileSpec, fileFlags), &variable, 2);
  ASSERT_EQ(CreateFile(path, spec), 0);
  BtrFile f;
  ASSERT_EQ(f.Open(path), 0);
  const std::string rec = MakeRecord(kLen + 20, {{0, "a"}, {kLen, "twenty bytes of text"}});
  ASSERT_EQ(f.Insert(rec), 0);
  for (const uint32_t length : {kLen + 8u, kLen - 1u}) {
    std::memset(f.data.data(), '#', rec.size());
    f.recordLength = length;
    for (const uint16_t op : {B_GET_FIRST, B_STEP_FIRST}) {
      EXPECT_EQ(f.Call(op, 0), B_DATALENGTH_ERROR) << op;
      const std::string want = length >= kLen ? rec.substr(0, length) : std::string(length, '#');
      EXPECT_EQ(std::string(f.data.data(), length), want) << op << " into " << length;
      EXPECT_EQ(f.dataLen, length) << op;
    }
  }
}

}  // namespace
}  // namespace reclink::test
