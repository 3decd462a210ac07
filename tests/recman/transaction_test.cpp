// Transactions over two files: Abort undoes every touched file, a failed
// write undoes only itself; clients of one process have their own
// transactions, blocks and Reset.
#include <gtest/gtest.h>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 24;

class TwoFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& p : {a_, b_}) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 10, 0}})), 0);
    fa_.recordLength = fb_.recordLength = kLen;
    ASSERT_EQ(fb_.Open(b_), 0);
    ASSERT_EQ(fb_.Insert(MakeRecord(kLen, {{0, "old"}, {12, "before"}})), 0);
    ASSERT_EQ(fb_.Insert(MakeRecord(kLen, {{0, "gone"}})), 0);
  }
  void TearDown() override { Tx(B_RESET); }

  // What path holds, in key order, with the note field of "old".
  static std::string Contents(const std::string& path) {
    BtrFile f;
    EXPECT_EQ(f.Open(path), 0);
    std::string out;
    for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
      out += f.Field(0) + (f.Field(0) == "old" ? "=" + f.Field(12) : "") + " ";
    }
    EXPECT_EQ(f.Close(), 0);
    return out;
  }
  TempDir dir_;
  const std::string a_ = dir_.file("a.dat"), b_ = dir_.file("b.dat");
  BtrFile fa_, fb_;
};

TEST_F(TwoFiles, AbortUndoesEveryFileAndAFailedWriteOnlyItself) {
  ASSERT_EQ(fa_.Open(a_), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(fb_.Get(B_GET_EQUAL, 0, "old"), 0);
  ASSERT_EQ(fb_.Update(MakeRecord(kLen, {{0, "old"}, {12, "changed"}})), 0);
  ASSERT_EQ(fa_.Insert(MakeRecord(kLen, {{0, "new"}})), 0);
  EXPECT_EQ(fa_.Close(), B_CLOSE_IN_TRANSACTION);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  EXPECT_EQ(Contents(a_), "");
  EXPECT_EQ(Contents(b_), "gone old=before ");

  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(fa_.Insert(MakeRecord(kLen, {{0, "one"}})), 0);
  EXPECT_EQ(fa_.Insert(MakeRecord(kLen, {{0, "one"}})), B_DUPLICATE_KEY_VALUE);
  ASSERT_EQ(fa_.Insert(MakeRecord(kLen, {{0, "two"}})), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  EXPECT_EQ(fa_.Get(B_GET_NEXT, 0), B_END_OF_FILE) << "End leaves the currency alone";
  EXPECT_EQ(Contents(a_), "one two ");
}

TEST_F(TwoFiles, ClientsOfOneProcessHaveTheirOwnTransactionsBlocksAndReset) {
  static const char kOther[16] = "another client";
  BtrFile fo;
  fo.client = kOther;
  fo.recordLength = kLen;
  ASSERT_EQ(fa_.Open(a_), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN, kOther), 0) << "a transaction of its own";
  ASSERT_EQ(fo.Open(b_), 0);
  ASSERT_EQ(fa_.Insert(MakeRecord(kLen, {{0, "kept"}})), 0);
  ASSERT_EQ(fo.Insert(MakeRecord(kLen, {{0, "undone"}})), 0);
  ASSERT_EQ(Tx(B_ABORT_TRAN, kOther), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  EXPECT_EQ(Contents(a_), "kept ");
  EXPECT_EQ(Contents(b_), "gone old=before ");

  // A block answers only the client that opened it, through every entry point.
  char buf[kLen], key[255];
  uint32_t len = kLen;
  uint16_t shortLen = kLen;
  EXPECT_EQ(BTRCALL(B_GET_FIRST, fo.pos, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
  EXPECT_EQ(BTRVID(B_GET_FIRST, fa_.pos, buf, &shortLen, key, 0, kOther), B_FILE_NOT_OPEN);
  EXPECT_EQ(BTRVID(B_GET_FIRST, fo.pos, buf, &shortLen, key, 0, kOther), 0);
  EXPECT_EQ(BTRV(B_GET_FIRST, fa_.pos, buf, &shortLen, key, 0), 0);
  EXPECT_EQ(shortLen, kLen);
  EXPECT_EQ(std::string(buf), "kept");
  EXPECT_EQ(BTRV(B_GET_FIRST, fa_.pos, buf, &shortLen, key, 300), B_INVALID_KEYNUMBER);
  // Reset ends one client's files and no one else's.
  ASSERT_EQ(Tx(B_RESET, kOther), 0);
  EXPECT_EQ(fo.Get(B_GET_FIRST, 0), B_FILE_NOT_OPEN);
  EXPECT_EQ(fa_.Get(B_GET_FIRST, 0), 0);
}

}  // namespace
}  // namespace reclink::test
