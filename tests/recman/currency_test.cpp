// Currency: walking key paths both ways, duplicates, Delete and Update in
// the middle of a walk, Get Direct, Get Position, Step order, Get Key.
#include <gtest/gtest.h>

#include <algorithm>

#include "recman_fixture.h"

namespace recman_test {
namespace {

// name: zstring 21 at 0 (key 0, unique); group: zstring 11 at 21 (key 1,
// duplicates, modifiable); number: 4-byte integer at 32 (key 2, duplicates,
// modifiable).
constexpr uint16_t kLen = 64;

std::vector<uint8_t> PeopleSpec() {
  return MakeSpec(kLen, 3,
                  {{1, 21, 0},
                   {22, 11, B_KEY_DUPLICATES | B_KEY_MODIFIABLE},
                   {33, 4, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_INTEGER}});
}

std::string Person(const std::string& name, const std::string& group, int32_t number) {
  std::string r = MakeRecord(kLen, {{0, name}, {21, group}});
  std::memcpy(r.data() + 32, &number, 4);
  return r;
}

std::string IntKey(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

class CurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("people.dat");
    ASSERT_EQ(CreateFile(path_, PeopleSpec()), 0);
    ASSERT_EQ(f_.Open(path_), 0);
    f_.recordLength = kLen;
  }
  void TearDown() override { f_.Close(); }

  // Names met walking key k from a Get First / Last with op Next / Previous.
  std::vector<std::string> Walk(int8_t k, bool forward) {
    std::vector<std::string> names;
    int st = f_.Get(forward ? B_GET_FIRST : B_GET_LAST, k);
    while (st == 0) {
      names.push_back(f_.Field(0));
      st = f_.Get(forward ? B_GET_NEXT : B_GET_PREVIOUS, k);
    }
    EXPECT_EQ(st, B_END_OF_FILE);
    return names;
  }

  reclink::test::TempDir dir_;
  std::string path_;
  BtrFile f_;
};

TEST_F(CurrencyTest, UniqueKeysWalkInKeyOrderBothWays) {
  for (auto [n, g, v] : {std::tuple{"delta", "x", 4}, {"alpha", "x", -7}, {"charlie", "y", 300},
                         {"bravo", "y", 0}, {"echo", "z", -70000}}) {
    ASSERT_EQ(f_.Insert(Person(n, g, v)), 0);
  }
  using V = std::vector<std::string>;
  EXPECT_EQ(Walk(0, true), (V{"alpha", "bravo", "charlie", "delta", "echo"}));
  EXPECT_EQ(Walk(0, false), (V{"echo", "delta", "charlie", "bravo", "alpha"}));
  // Signed integers order numerically, negatives first.
  EXPECT_EQ(Walk(2, true), (V{"echo", "alpha", "bravo", "delta", "charlie"}));

  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "charlie"), 0);
  EXPECT_EQ(f_.Field(21), "y");
  EXPECT_EQ(f_.Key(8), std::string("charlie\0", 8));
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "carl"), B_KEY_VALUE_NOT_FOUND);
  EXPECT_EQ(f_.Get(B_GET_GE, 0, "carl"), 0);
  EXPECT_EQ(f_.Field(0), "charlie");
  EXPECT_EQ(f_.Get(B_GET_GREATER, 0, "charlie"), 0);
  EXPECT_EQ(f_.Field(0), "delta");
  EXPECT_EQ(f_.Get(B_GET_LE, 0, "carl"), 0);
  EXPECT_EQ(f_.Field(0), "bravo");
  EXPECT_EQ(f_.Get(B_GET_LESS, 0, "bravo"), 0);
  EXPECT_EQ(f_.Field(0), "alpha");
  EXPECT_EQ(f_.Get(B_GET_LESS, 0, "alpha"), B_END_OF_FILE);
  EXPECT_EQ(f_.Get(B_GET_GREATER, 0, "echo"), B_END_OF_FILE);
  EXPECT_EQ(f_.Get(B_GET_GE, 2, IntKey(-8)), 0);
  EXPECT_EQ(f_.Field(0), "alpha");

  // Past the end the currency stays on the last record; a change of
  // direction works from there.
  ASSERT_EQ(f_.Get(B_GET_LAST, 0), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_END_OF_FILE);
  ASSERT_EQ(f_.Get(B_GET_PREVIOUS, 0), 0);
  EXPECT_EQ(f_.Field(0), "delta");
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "echo");
}

TEST_F(CurrencyTest, DuplicatesKeepInsertionOrderBothWays) {
  ASSERT_EQ(f_.Insert(Person("d1", "g", 1)), 0);
  ASSERT_EQ(f_.Insert(Person("a0", "f", 2)), 0);
  ASSERT_EQ(f_.Insert(Person("b2", "g", 3)), 0);
  ASSERT_EQ(f_.Insert(Person("z9", "h", 4)), 0);
  ASSERT_EQ(f_.Insert(Person("c3", "g", 5)), 0);
  using V = std::vector<std::string>;
  EXPECT_EQ(Walk(1, true), (V{"a0", "d1", "b2", "c3", "z9"}));
  EXPECT_EQ(Walk(1, false), (V{"z9", "c3", "b2", "d1", "a0"}));

  // Equal and Greater-or-Equal give the first of the group, Less-or-Equal
  // and Less the last.
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 1, "g"), 0);
  EXPECT_EQ(f_.Field(0), "d1");
  EXPECT_EQ(f_.Get(B_GET_GE, 1, "g"), 0);
  EXPECT_EQ(f_.Field(0), "d1");
  EXPECT_EQ(f_.Get(B_GET_LE, 1, "g"), 0);
  EXPECT_EQ(f_.Field(0), "c3");
  EXPECT_EQ(f_.Get(B_GET_LESS, 1, "h"), 0);
  EXPECT_EQ(f_.Field(0), "c3");
  EXPECT_EQ(f_.Get(B_GET_GREATER, 1, "f"), 0);
  EXPECT_EQ(f_.Field(0), "d1");

  // Moving a record into a group puts it last there; moving it away and
  // back puts it last again.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "a0"), 0);
  ASSERT_EQ(f_.Update(Person("a0", "g", 2), 0), 0);
  EXPECT_EQ(Walk(1, true), (V{"d1", "b2", "c3", "a0", "z9"}));
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "d1"), 0);
  ASSERT_EQ(f_.Update(Person("d1", "f", 1), 0), 0);
  ASSERT_EQ(f_.Update(Person("d1", "g", 1), 0), 0);
  EXPECT_EQ(Walk(1, false), (V{"z9", "d1", "a0", "c3", "b2"}));
  // An Update that leaves the value alone keeps the place.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "b2"), 0);
  ASSERT_EQ(f_.Update(Person("b2", "g", 33), 0), 0);
  EXPECT_EQ(Walk(1, true), (V{"b2", "c3", "a0", "d1", "z9"}));
}

TEST_F(CurrencyTest, DeleteKeepsTheNeighbours) {
  for (const char* n : {"a", "b", "c", "d", "e"}) ASSERT_EQ(f_.Insert(Person(n, "g", 0)), 0);
  // Cascading delete along a path: Get, Delete, Get Next.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "b"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(f_.Delete(), B_POSITION_NOT_SET);
  EXPECT_EQ(f_.Update(Person("b", "g", 0)), B_POSITION_NOT_SET);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "c");
  ASSERT_EQ(f_.Delete(), 0);
  ASSERT_EQ(f_.Get(B_GET_PREVIOUS, 0), 0);
  EXPECT_EQ(f_.Field(0), "a");

  // The same on a duplicate path: the group continues after the deleted one.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 1, "g"), 0);
  EXPECT_EQ(f_.Field(0), "a");
  ASSERT_EQ(f_.Get(B_GET_NEXT, 1), 0);
  EXPECT_EQ(f_.Field(0), "d");
  ASSERT_EQ(f_.Delete(), 0);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 1), 0);
  EXPECT_EQ(f_.Field(0), "e");
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 1), B_END_OF_FILE);
  ASSERT_EQ(f_.Get(B_GET_PREVIOUS, 1), 0);
  EXPECT_EQ(f_.Field(0), "a");
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_END_OF_FILE);
}

TEST_F(CurrencyTest, UpdateMovesCurrencyAndKeyNumberMustMatch) {
  for (const char* n : {"a", "c", "e"}) ASSERT_EQ(f_.Insert(Person(n, "g", 0)), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "a"), 0);
  EXPECT_EQ(f_.Update(Person("a", "g", 5), 0), 0);
  // Key 0 is not modifiable.
  EXPECT_EQ(f_.Update(Person("d", "g", 5), 0), B_MODIFIABLE_KEYVALUE_ERROR);
  // Changing the number (key 2) moves the record on key 2; currency follows.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "c"), 0);
  ASSERT_EQ(f_.Update(Person("c", "g", 100), 2), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 2), B_END_OF_FILE);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_DIFFERENT_KEYNUMBER);
  ASSERT_EQ(f_.Get(B_GET_PREVIOUS, 2), 0);
  EXPECT_EQ(f_.Field(0), "a");

  BtrFile fresh;
  ASSERT_EQ(fresh.Open(path_), 0);
  EXPECT_EQ(fresh.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  EXPECT_EQ(fresh.Update(Person("a", "g", 0)), B_POSITION_NOT_SET);
  EXPECT_EQ(fresh.Delete(), B_POSITION_NOT_SET);
  uint32_t p = 0, len = 4;
  EXPECT_EQ(BTRCALL(B_GET_POSITION, fresh.pos, &p, &len, fresh.keyBuf, 255, 0), B_POSITION_NOT_SET);
  EXPECT_EQ(fresh.Close(), 0);
}

TEST_F(CurrencyTest, GetPositionAndGetDirect) {
  for (const char* n : {"m", "k", "x"}) ASSERT_EQ(f_.Insert(Person(n, "g", 0)), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "k"), 0);
  const uint32_t posK = f_.Position();
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "x"), 0);
  const uint32_t posX = f_.Position();
  EXPECT_NE(posK, posX);

  // Without a key path: the record, no logical currency to walk on.
  BtrFile g;
  ASSERT_EQ(g.Open(path_), 0);
  std::memcpy(g.data.data(), &posK, 4);
  g.dataLen = kLen;
  ASSERT_EQ(BTRCALL(B_GET_DIRECT, g.pos, g.data.data(), &g.dataLen, g.keyBuf, 255, -1), 0);
  EXPECT_EQ(g.Field(0), "k");
  EXPECT_EQ(g.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  // With key 0: its value comes back and Next walks on from it.
  std::memcpy(g.data.data(), &posK, 4);
  g.dataLen = kLen;
  ASSERT_EQ(BTRCALL(B_GET_DIRECT, g.pos, g.data.data(), &g.dataLen, g.keyBuf, 255, 0), 0);
  EXPECT_EQ(std::string(g.keyBuf), "k");
  ASSERT_EQ(g.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(g.Field(0), "m");

  // A short buffer: 22, yet the currency is set.
  std::memcpy(g.data.data(), &posX, 4);
  g.dataLen = 10;
  EXPECT_EQ(BTRCALL(B_GET_DIRECT, g.pos, g.data.data(), &g.dataLen, g.keyBuf, 255, 0),
            B_DATALENGTH_ERROR);
  ASSERT_EQ(g.Get(B_GET_PREVIOUS, 0), 0);
  EXPECT_EQ(g.Field(0), "m");

  // Unknown and deleted positions.
  uint32_t bogus = posX + 1000;
  std::memcpy(g.data.data(), &bogus, 4);
  g.dataLen = kLen;
  EXPECT_EQ(BTRCALL(B_GET_DIRECT, g.pos, g.data.data(), &g.dataLen, g.keyBuf, 255, -1),
            B_BAD_RECORD_ADDRESS);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "k"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  std::memcpy(g.data.data(), &posK, 4);
  g.dataLen = kLen;
  EXPECT_EQ(BTRCALL(B_GET_DIRECT, g.pos, g.data.data(), &g.dataLen, g.keyBuf, 255, -1),
            B_BAD_RECORD_ADDRESS);
  // Positions are never handed out again.
  ASSERT_EQ(f_.Insert(Person("k", "g", 0)), 0);
  EXPECT_GT(f_.Position(), posX);
  EXPECT_EQ(g.Close(), 0);
}

TEST_F(CurrencyTest, StepWalksPhysicalOrder) {
  for (const char* n : {"q", "b", "z", "a"}) ASSERT_EQ(f_.Insert(Person(n, "g", 0)), 0);
  std::vector<std::string> seen;
  int st = f_.Step(B_STEP_FIRST);
  while (st == 0) {
    seen.push_back(f_.Field(0));
    st = f_.Step(B_STEP_NEXT);
  }
  EXPECT_EQ(st, B_END_OF_FILE);
  EXPECT_EQ(seen, (std::vector<std::string>{"q", "b", "z", "a"}));
  ASSERT_EQ(f_.Step(B_STEP_LAST), 0);
  EXPECT_EQ(f_.Field(0), "a");
  ASSERT_EQ(f_.Step(B_STEP_PREVIOUS), 0);
  EXPECT_EQ(f_.Field(0), "z");
  // Step keeps no key path, but the record is current for writes.
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  ASSERT_EQ(f_.Delete(), 0);
  ASSERT_EQ(f_.Step(B_STEP_PREVIOUS), 0);
  EXPECT_EQ(f_.Field(0), "b");
  ASSERT_EQ(f_.Step(B_STEP_FIRST), 0);
  EXPECT_EQ(f_.Step(B_STEP_PREVIOUS), B_END_OF_FILE);
}

TEST_F(CurrencyTest, GetKeyReturnsOnlyTheKey) {
  for (const char* n : {"a", "b", "c"}) ASSERT_EQ(f_.Insert(Person(n, "g", 0)), 0);
  std::memset(f_.data.data(), 'Q', kLen);
  ASSERT_EQ(f_.Get(B_GET_EQUAL + B_GET_KEY, 0, "b"), 0);
  EXPECT_EQ(f_.data[0], 'Q');
  EXPECT_EQ(std::string(f_.keyBuf), "b");
  EXPECT_EQ(f_.Delete(), B_POSITION_NOT_SET);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "c");
  ASSERT_EQ(f_.Get(B_GET_FIRST + B_GET_KEY, 0), 0);
  EXPECT_EQ(std::string(f_.keyBuf), "a");
}

}  // namespace
}  // namespace recman_test
