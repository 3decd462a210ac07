// Currency: key paths walked both ways with duplicates, Delete and Update in
// the middle of a walk, Get Direct, Step order.
#include <gtest/gtest.h>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// name: zstring 21 at 0 (key 0, unique); group: zstring 11 at 21 (key 1,
// duplicates, modifiable); number: int32 at 32 (key 2, duplicates, modifiable).
constexpr uint16_t kLen = 64;
using V = std::vector<std::string>;

std::string Person(const std::string& name, const std::string& group, int32_t number = 0) {
  std::string r = MakeRecord(kLen, {{0, name}, {21, group}});
  std::memcpy(r.data() + 32, &number, 4);
  return r;
}

class CurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("people.dat");
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 3,
                                         {{1, 21, 0},
                                          {22, 11, B_KEY_DUPLICATES | B_KEY_MODIFIABLE},
                                          {33, 4, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_INTEGER}})),
              0);
    ASSERT_EQ(f_.Open(path_), 0);
    f_.recordLength = g_.recordLength = kLen;
  }
  void TearDown() override { f_.Close(); }
  void Expect(int st, const char* name) {
    ASSERT_EQ(st, 0) << name;
    EXPECT_EQ(f_.Field(0), name);
  }

  TempDir dir_;
  std::string path_;
  BtrFile f_, g_;
};

TEST_F(CurrencyTest, WalksBothWaysWithDuplicatesAndUpdates) {
  for (auto [n, g, v] : {std::tuple{"d1", "g", 4}, {"a0", "f", -7}, {"b2", "g", 300},
                         {"z9", "h", 0}, {"c3", "g", -70000}}) {
    ASSERT_EQ(f_.Insert(Person(n, g, v)), 0);
  }
  EXPECT_EQ(f_.Walk(0), (V{"a0", "b2", "c3", "d1", "z9"}));
  EXPECT_EQ(f_.Walk(0, false), (V{"z9", "d1", "c3", "b2", "a0"}));
  EXPECT_EQ(f_.Walk(2), (V{"c3", "a0", "z9", "d1", "b2"})) << "signed, negatives first";
  // Duplicates keep insertion order, both ways.
  EXPECT_EQ(f_.Walk(1), (V{"a0", "d1", "b2", "c3", "z9"}));
  EXPECT_EQ(f_.Walk(1, false), (V{"z9", "c3", "b2", "d1", "a0"}));
  // Equal and Greater-or-Equal give the first of a group, Less-or-Equal the last.
  Expect(f_.Get(B_GET_EQUAL, 1, "g"), "d1");
  Expect(f_.Get(B_GET_LE, 1, "g"), "c3");
  Expect(f_.Get(B_GET_GREATER, 1, "f"), "d1");
  EXPECT_EQ(f_.Key(2), std::string("g\0", 2));
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "carl"), B_KEY_VALUE_NOT_FOUND);

  // Moving a record into a group puts it last there; an Update that leaves
  // the value alone keeps the place.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "a0"), 0);
  ASSERT_EQ(f_.Update(Person("a0", "g")), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "d1"), 0);
  ASSERT_EQ(f_.Update(Person("d1", "g", 5)), 0);
  EXPECT_EQ(f_.Walk(1), (V{"d1", "b2", "c3", "a0", "z9"}));
  // Updating through key 2 moves the currency with the record on that path.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "c3"), 0);
  ASSERT_EQ(f_.Update(Person("c3", "g", 1000), 2), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 2), B_END_OF_FILE);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_DIFFERENT_KEYNUMBER);
}

TEST_F(CurrencyTest, DeleteThenNextOrPreviousAndFreshBlocks) {
  for (const char* n : {"a", "b", "c", "d", "e"}) ASSERT_EQ(f_.Insert(Person(n, "g")), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "b"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(f_.Delete(), B_POSITION_NOT_SET);
  EXPECT_EQ(f_.Update(Person("b", "g")), B_POSITION_NOT_SET);
  Expect(f_.Get(B_GET_NEXT, 0), "c");
  ASSERT_EQ(f_.Delete(), 0);
  Expect(f_.Get(B_GET_PREVIOUS, 0), "a");
  // On a duplicate path the group continues after the deleted one.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 1, "g"), 0);
  Expect(f_.Get(B_GET_NEXT, 1), "d");
  ASSERT_EQ(f_.Delete(1), 0);
  Expect(f_.Get(B_GET_NEXT, 1), "e");
  ASSERT_EQ(f_.Delete(1), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 1), B_END_OF_FILE);
  Expect(f_.Get(B_GET_PREVIOUS, 1), "a");

  // A fresh block has no currency to walk on, write or report.
  ASSERT_EQ(g_.Open(path_), 0);
  EXPECT_EQ(g_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  EXPECT_EQ(g_.Delete(), B_POSITION_NOT_SET);
  uint32_t p = 0, len = 4;
  EXPECT_EQ(BTRCALL(B_GET_POSITION, g_.pos, &p, &len, g_.keyBuf, 255, 0), B_POSITION_NOT_SET);
}

TEST_F(CurrencyTest, GetDirectAndStep) {
  for (const char* n : {"m", "k", "x", "a"}) ASSERT_EQ(f_.Insert(Person(n, "g")), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "k"), 0);
  const uint32_t posK = f_.Position();
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "x"), 0);
  const uint32_t posX = f_.Position();
  ASSERT_NE(posK, posX);

  // Without a key path: the record, and nothing to walk on.
  ASSERT_EQ(g_.Open(path_), 0);
  ASSERT_EQ(g_.Direct(posK, -1), 0);
  EXPECT_EQ(g_.Field(0), "k");
  EXPECT_EQ(g_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  // With key 0: its value comes back and Next walks on from it.
  ASSERT_EQ(g_.Direct(posK, 0), 0);
  EXPECT_STREQ(g_.keyBuf, "k");
  ASSERT_EQ(g_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(g_.Field(0), "m");
  // A short buffer gives 22, yet the currency is set.
  EXPECT_EQ(g_.Direct(posX, 0, 10), B_DATALENGTH_ERROR);
  ASSERT_EQ(g_.Get(B_GET_PREVIOUS, 0), 0);
  EXPECT_EQ(g_.Field(0), "m");
  // Unknown and deleted positions; positions are never handed out again.
  EXPECT_EQ(g_.Direct(posX + 1000, -1), B_BAD_RECORD_ADDRESS);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "k"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(g_.Direct(posK, -1), B_BAD_RECORD_ADDRESS);
  ASSERT_EQ(f_.Insert(Person("k", "g")), 0);
  EXPECT_GT(f_.Position(), posX);

  // Step walks in physical order and keeps no key path, but the record
  // it lands on is current for writes.
  std::vector<std::string> seen;
  for (int st = f_.Step(B_STEP_FIRST); st == 0; st = f_.Step(B_STEP_NEXT)) seen.push_back(f_.Field(0));
  EXPECT_EQ(seen, (V{"m", "x", "a", "k"}));
  Expect(f_.Step(B_STEP_LAST), "k");
  Expect(f_.Step(B_STEP_PREVIOUS), "a");
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  ASSERT_EQ(f_.Delete(), 0);
  Expect(f_.Step(B_STEP_PREVIOUS), "x");
  ASSERT_EQ(f_.Step(B_STEP_FIRST), 0);
  EXPECT_EQ(f_.Step(B_STEP_PREVIOUS), B_END_OF_FILE);
}

}  // namespace
}  // namespace reclink::test
