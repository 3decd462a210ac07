// Transactions that span two files: End keeps everything, Abort nothing.
#include <gtest/gtest.h>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 24;

int Tx(uint16_t op) { return BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0); }

class TwoFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 2; ++i) {
      path_[i] = dir_.file("tx" + std::to_string(i) + ".dat");
      ASSERT_EQ(CreateFile(path_[i], MakeSpec(kLen, 1, {{1, 10, 0}})), 0);
      ASSERT_EQ(f_[i].Open(path_[i]), 0);
      f_[i].recordLength = kLen;
    }
  }
  void TearDown() override {
    Tx(B_ABORT_TRAN);
    for (BtrFile& f : f_) f.Close();
  }
  // Records of file i, in key order, as seen through a fresh block.
  std::vector<std::string> Contents(int i) {
    BtrFile g;
    g.recordLength = kLen;
    EXPECT_EQ(g.Open(path_[i]), 0);
    std::vector<std::string> out;
    for (int st = g.Get(B_GET_FIRST, 0); st == 0; st = g.Get(B_GET_NEXT, 0)) out.push_back(g.Field(0));
    g.Close();
    return out;
  }

  reclink::test::TempDir dir_;
  std::string path_[2];
  BtrFile f_[2];
};

TEST_F(TwoFiles, EndCommitsEveryTouchedFile) {
  ASSERT_EQ(f_[0].Insert(MakeRecord(kLen, {{0, "keep"}})), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(f_[0].Insert(MakeRecord(kLen, {{0, "a"}})), 0);
  ASSERT_EQ(f_[1].Insert(MakeRecord(kLen, {{0, "b"}})), 0);
  ASSERT_EQ(f_[0].Get(B_GET_EQUAL, 0, "keep"), 0);
  ASSERT_EQ(f_[0].Delete(), 0);
  // Inside the transaction its own changes are visible.
  EXPECT_EQ(f_[0].Get(B_GET_EQUAL, 0, "keep"), B_KEY_VALUE_NOT_FOUND);
  ASSERT_EQ(f_[1].Get(B_GET_EQUAL, 0, "b"), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  // End does not touch currency.
  EXPECT_EQ(f_[1].Get(B_GET_NEXT, 0), B_END_OF_FILE);
  EXPECT_EQ(Contents(0), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Contents(1), (std::vector<std::string>{"b"}));
  EXPECT_EQ(f_[0].Close(), 0) << "after End the file may close";
}

TEST_F(TwoFiles, AbortUndoesEveryTouchedFile) {
  ASSERT_EQ(f_[0].Insert(MakeRecord(kLen, {{0, "old"}})), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(f_[0].Get(B_GET_EQUAL, 0, "old"), 0);
  ASSERT_EQ(f_[0].Update(MakeRecord(kLen, {{0, "old"}, {12, "changed"}})), 0);
  ASSERT_EQ(f_[1].Insert(MakeRecord(kLen, {{0, "new"}})), 0);
  EXPECT_EQ(f_[1].Close(), B_CLOSE_IN_TRANSACTION);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  EXPECT_EQ(Contents(1), (std::vector<std::string>{}));
  ASSERT_EQ(f_[0].Get(B_GET_EQUAL, 0, "old"), 0);
  EXPECT_EQ(f_[0].Field(12), "");
  // A failed write inside a transaction undoes only itself.
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(f_[1].Insert(MakeRecord(kLen, {{0, "one"}})), 0);
  EXPECT_EQ(f_[1].Insert(MakeRecord(kLen, {{0, "one"}})), B_DUPLICATE_KEY_VALUE);
  ASSERT_EQ(f_[1].Insert(MakeRecord(kLen, {{0, "two"}})), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  EXPECT_EQ(Contents(1), (std::vector<std::string>{"one", "two"}));
}

}  // namespace
}  // namespace recman_test
