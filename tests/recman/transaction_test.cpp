// Transactions over two files: Abort undoes every touched file, a failed
// write undoes only itself, and a process that dies in the middle of End
// leaves every file, at its next Open, with all of the transaction or none.
#include <gtest/gtest.h>

#include "recman_fixture.h"
#include "support/child_process.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 24;
using V = std::vector<std::string>;

// One transaction writing a (first) and b, each open in its block; returns
// End's status, or a negative step number.
int Transaction(BtrFile& fa, BtrFile& fb) {
  if (Tx(B_BEGIN_TRAN) != 0) return -1;
  if (fa.Insert(MakeRecord(kLen, {{0, "a1"}})) != 0 || fb.Insert(MakeRecord(kLen, {{0, "b1"}})) != 0) return -2;
  if (fb.Get(B_GET_EQUAL, 0, "old") != 0 || fb.Update(MakeRecord(kLen, {{0, "old"}, {12, "after"}})) != 0) return -3;
  if (fb.Get(B_GET_EQUAL, 0, "gone") != 0 || fb.Delete() != 0) return -4;
  if (fb.Get(B_GET_EQUAL, 0, "gone") != B_KEY_VALUE_NOT_FOUND) return -5;  // its own changes are visible
  return Tx(B_END_TRAN);
}

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
  reclink::test::TempDir dir_;
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

class CrashInEndTest : public TwoFiles, public ::testing::WithParamInterface<const char*> {};

// The transaction on a (args[0]) and b (args[1]), stopped in End at the
// point args[2] names (empty: not stopped); exit code 0 when it ran whole.
RECLINK_CHILD_ROLE(TransactionStoppedInEnd) {
  if (!args[2].empty()) reclink::test::SetEnvironment("RECMAN_TEST_CRASH_IN_END", args[2]);
  BtrFile fa(kLen), fb(kLen);
  return fa.Open(args[0]) == 0 && fb.Open(args[1]) == 0 && Transaction(fa, fb) == 0 ? 0 : 1;
}

TEST_P(CrashInEndTest, NextOpenSettlesAllOrNothing) {
  const std::string point = GetParam();
  ASSERT_EQ(fb_.Close(), 0);
  reclink::test::ChildProcess child("TransactionStoppedInEnd", {a_, b_, point});
  ASSERT_EQ(child.Wait(), point.empty() ? 0 : 86);
  const bool happened = point != "participant";
  // Opening b settles it first: it asks a, the file that decides.
  EXPECT_EQ(Contents(b_), happened ? "b1 old=after " : "gone old=before ");
  EXPECT_EQ(Contents(a_), happened ? "a1 " : "");
  for (const std::string& p : {a_, b_}) {
    EXPECT_EQ(Sql(p, "SELECT (SELECT count(*) FROM recman_pending) + (SELECT count(*) FROM recman_undo)"
                     " + (SELECT count(*) FROM recman_decided)"), 0) << "leftovers in " << p;
  }
}

INSTANTIATE_TEST_SUITE_P(StopPoints, CrashInEndTest, ::testing::Values("", "participant", "decided"));

}  // namespace
}  // namespace recman_test
