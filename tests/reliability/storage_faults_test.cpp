// Full and read-only storage: a write that cannot be stored returns 18 (full)
// or 46 (read-only) and leaves the file exactly as the acknowledged writes
// made it.

#include <gtest/gtest.h>
#include <unistd.h>

#include "crash_workload.h"
#include "mounts.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

using crash::FileState;
using crash::IdKey;
using crash::MakeRecord;

// The records of crash file 0 in dir, each verified; the file must pass the
// record-file check.
FileState ReadAllAndCheck(const std::string& dir) {
  FileState out;
  EXPECT_EQ(crash::ReadRecordFile(crash::FileName(dir, 0), 0, &out), "");
  std::string problems;
  EXPECT_EQ(crash::CheckRecordFile(crash::FileName(dir, 0), &problems), 0) << problems;
  return out;
}

// Storage that fills up while writes go on: each write either stores as a
// whole and returns 0, or returns 18 and stores nothing; a transaction over a
// file on roomy storage and one on the full storage stores both parts or
// neither. With room again the files hold what was acknowledged, pass the
// check and take writes. Remounted read-only, the file reads whole, also
// inside a transaction; a write, and a Create beside it, return 46.
TEST(StorageFaults, FullStorageGives18AndReadOnlyGives46AndBothKeepWhatWasAcknowledged) {
  TmpfsMount m(3 << 20);
  if (!m.ok()) GTEST_SKIP() << m.why();
  TempDir roomy;
  ASSERT_EQ(crash::CreateRecordFile(roomy.path(), 0), 0);
  ASSERT_EQ(crash::CreateRecordFile(m.path(), 0, 20), 0);
  FileState expected = crash::Records(20), expectedRoomy;
  BtrFile a, b;
  ASSERT_EQ(a.Open(crash::FileName(roomy.path(), 0)), 0);
  ASSERT_EQ(b.Open(crash::FileName(m.path(), 0)), 0);
  std::string ballast = FillUpTo(m.path(), 48 << 10);
  ASSERT_FALSE(ballast.empty());

  // The roomy file joins the transaction first; the full one then grows
  // until the storage refuses it, in an insert or in End.
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  ASSERT_EQ(a.Insert(MakeRecord(0, 1, 1)), 0);
  int st = 0;
  FileState inTransaction;
  for (uint32_t id = 10000; id < 10400 && st == 0; ++id) {
    if ((st = b.Insert(MakeRecord(0, id, id))) == 0) inTransaction[id] = id;
  }
  int end = Tx(st == 0 ? B_END_TRAN : B_ABORT_TRAN);
  EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
  EXPECT_TRUE(end == 0 || (st == 0 && end == B_DISK_FULL)) << end;
  std::printf("two-file transaction: %zu inserts then status %d, End %d\n", inTransaction.size(),
              st, end);
  if (st == 0 && end == 0) {
    expected.insert(inTransaction.begin(), inTransaction.end());
    expectedRoomy = crash::Records(1);
  }

  // Single inserts until the storage refuses one, then updates.
  uint32_t id = 21;
  for (st = 0; id < 5000 && st == 0; ++id) {
    if ((st = b.Insert(MakeRecord(0, id, id))) == 0) expected[id] = id;
  }
  EXPECT_EQ(st, B_DISK_FULL) << "after " << id - 21 << " inserts";
  for (uint32_t u = 1; u <= 5; ++u) {
    ASSERT_EQ(b.Get(B_GET_EQUAL, 0, IdKey(u)), 0);
    st = b.Update(MakeRecord(0, u, 100000 + u));
    EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
    if (st == 0) expected[u] = 100000 + u;
  }

  a.Close();
  b.Close();
  ASSERT_EQ(unlink(ballast.c_str()), 0);
  Tx(B_RESET);
  EXPECT_EQ(ReadAllAndCheck(m.path()), expected);
  EXPECT_EQ(ReadAllAndCheck(roomy.path()), expectedRoomy)
      << "the other file of a refused transaction kept its part";
  ASSERT_EQ(b.Open(crash::FileName(m.path(), 0)), 0);
  EXPECT_EQ(b.Insert(MakeRecord(0, 60000, 60000)), 0);
  expected[60000] = 60000;

  ASSERT_TRUE(m.SetReadOnly(true));
  ASSERT_EQ(b.Open(crash::FileName(m.path(), 0)), 0);
  size_t seen = 0;
  for (st = b.Get(B_GET_FIRST, 0); st == 0; st = b.Get(B_GET_NEXT, 0)) ++seen;
  EXPECT_EQ(seen, expected.size());
  EXPECT_EQ(b.Insert(MakeRecord(0, 9999, 9999)), B_ACCESS_DENIED);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(b.Get(B_GET_EQUAL, 0, IdKey(3)), 0) << "a transaction may read it";
  EXPECT_EQ(Tx(B_ABORT_TRAN), 0);
  b.Close();
  EXPECT_EQ(crash::CreateRecordFile(m.path(), 1), B_ACCESS_DENIED) << "nothing is created there";
}

}  // namespace
}  // namespace reclink::test
