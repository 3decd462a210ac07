// Insert Extended: many records in one call, stored in order until one
// fails; the data buffer comes back with the count stored and their
// positions, and the last record stored is the current one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 16;

// A record: its name (key 0, unique) at 0, an autoincrement number (key 1)
// at 12.
std::string Rec(const std::string& name, int32_t number = 0) {
  std::string r = MakeRecord(kLen, {{0, name}});
  std::memcpy(r.data() + 12, &number, 4);
  return r;
}

int32_t Number(const BtrFile& f) {
  int32_t n = 0;
  std::memcpy(&n, f.data.data() + 12, 4);
  return n;
}

class InsertExtendedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 2, {{1, 10, 0}, {13, 4, 0, B_TYPE_AUTOINCREMENT}})), 0);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Open(path_), 0);
    ASSERT_EQ(f_.Insert(Rec("m")), 0);
  }
  void TearDown() override { Tx(B_RESET); }

  // The positions the last Insert Extended returned, after its count.
  std::vector<uint32_t> Returned() const {
    uint16_t n = 0;
    std::memcpy(&n, f_.data.data(), 2);
    EXPECT_EQ(f_.dataLen, 2u + 4u * n);
    std::vector<uint32_t> positions(n);
    if (n > 0) std::memcpy(positions.data(), f_.data.data() + 2, 4u * n);
    return positions;
  }
  // The names at positions, read back by Get Direct on another block.
  std::vector<std::string> NamesAt(const std::vector<uint32_t>& positions) {
    BtrFile reader(kLen);
    EXPECT_EQ(reader.Open(path_), 0);
    std::vector<std::string> names;
    for (uint32_t p : positions) {
      EXPECT_EQ(reader.Direct(p, 0), 0);
      names.push_back(reader.Field(0));
    }
    return names;
  }

  TempDir dir_;
  const std::string path_ = dir_.file("batch.dat");
  BtrFile f_;
};

TEST_F(InsertExtendedTest, StoresTheRecordsInOrderAndMakesTheLastCurrent) {
  ASSERT_EQ(f_.Write(B_INSERT_EXTENDED, Batch({Rec("b"), Rec("x"), Rec("c")}), 0), 0);
  const std::vector<uint32_t> positions = Returned();
  EXPECT_EQ(NamesAt(positions), (std::vector<std::string>{"b", "x", "c"}));
  EXPECT_EQ(f_.Key(2), std::string("c\0", 2)) << "the key buffer holds the last record's key";
  EXPECT_EQ(f_.Position(), positions.back());
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "m");
  // Autoincrement values are given in the batch's order, after the
  // highest stored one.
  for (auto [name, number] : {std::pair{"b", 2}, {"x", 3}, {"c", 4}}) {
    ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, name), 0);
    EXPECT_EQ(Number(f_), number) << name;
  }

  // Key number -1: the new record is the physical current one, the key
  // path stays where it was.
  ASSERT_EQ(f_.Get(B_GET_FIRST, 0), 0);
  ASSERT_EQ(f_.Write(B_INSERT_EXTENDED, Batch({Rec("a")}), -1), 0);
  EXPECT_EQ(f_.Position(), Returned().at(0));
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "c");

  // No records: nothing stored, a count of 0.
  ASSERT_EQ(f_.Write(B_INSERT_EXTENDED, Batch({}), 0), 0);
  EXPECT_TRUE(Returned().empty());
  EXPECT_EQ(f_.Walk(0), (std::vector<std::string>{"a", "b", "c", "m", "x"}));
}

TEST_F(InsertExtendedTest, AFailingRecordKeepsTheOnesBeforeItAndStopsTheBatch) {
  struct Case {
    const char* label;
    std::vector<std::string> images;
    int status;
    std::vector<std::string> stored;
  };
  const Case cases[] = {
      {"a duplicate of a stored key", {Rec("d"), Rec("m"), Rec("e")}, B_DUPLICATE_KEY_VALUE, {"d"}},
      {"a duplicate within the batch", {Rec("f"), Rec("g"), Rec("f")}, B_DUPLICATE_KEY_VALUE, {"f", "g"}},
      {"an image shorter than the record", {Rec("h"), Rec("i").substr(0, 8)}, B_DATALENGTH_ERROR, {"h"}},
      {"a first record that fails", {Rec("m"), Rec("j")}, B_DUPLICATE_KEY_VALUE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(f_.Write(B_INSERT_EXTENDED, Batch(c.images), 0), c.status);
    const std::vector<uint32_t> positions = Returned();
    EXPECT_EQ(NamesAt(positions), c.stored);
    if (!positions.empty()) {
      EXPECT_EQ(f_.Position(), positions.back());
    }
  }
  EXPECT_EQ(f_.Walk(0), (std::vector<std::string>{"d", "f", "g", "h", "m"}));
  // Numbers went to the records stored, one after the other.
  ASSERT_EQ(f_.Get(B_GET_LAST, 1), 0);
  EXPECT_EQ(Number(f_), 5);
}

TEST_F(InsertExtendedTest, RefusalsStoreNothingAndAbortUndoesTheBatch) {
  const std::string good = Batch({Rec("p"), Rec("q")});
  struct Case {
    const char* label;
    std::string buffer;
    uint16_t op;
    int8_t keyNum;
    int status;
  };
  const Case cases[] = {
      {"a count beyond the images", good.substr(0, 2 + 2 + kLen), B_INSERT_EXTENDED, 0, B_DATALENGTH_ERROR},
      {"an image past the buffer", good.substr(0, good.size() - 1), B_INSERT_EXTENDED, 0, B_DATALENGTH_ERROR},
      {"no count", "", B_INSERT_EXTENDED, 0, B_DATALENGTH_ERROR},
      {"a key that is not there", good, B_INSERT_EXTENDED, 2, B_INVALID_KEYNUMBER},
      {"a lock bias", good, B_INSERT_EXTENDED + 200, 0, B_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(f_.Write(c.op, c.buffer, c.keyNum), c.status);
  }
  BtrFile reader(kLen);
  ASSERT_EQ(reader.Open(path_, B_MODE_READ_ONLY), 0);
  EXPECT_EQ(reader.Write(B_INSERT_EXTENDED, good, 0), B_ACCESS_DENIED);

  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(f_.Write(B_INSERT_EXTENDED, good, 0), 0);
  EXPECT_EQ(Returned().size(), 2u);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  EXPECT_EQ(f_.Walk(0), (std::vector<std::string>{"m"}));
}

}  // namespace
}  // namespace reclink::test
