// Currency at the edges the randomized model does not reach: a fresh block,
// Get Direct into a short buffer, positions never handed out again. Walks,
// Delete and Update in the middle of a walk, Step and Get Direct in general
// are the model's (model_test.cpp).
#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace reclink::test
