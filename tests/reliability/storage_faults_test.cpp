// Full and read-only storage: a write that cannot be stored returns 18 (full)
// or 46 (read-only) and leaves the file exactly as the acknowledged writes
// made it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "btr_file.h"
#include "crash_workload.h"
#include "file_check.h"
#include "mounts.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

using crash::kRecordLength;
using crash::MakeRecord;

std::vector<uint8_t> KeyOf(uint32_t id) {
  std::vector<uint8_t> k(4);
  for (int i = 0; i < 4; ++i) k[i] = static_cast<uint8_t>(id >> (8 * i));
  return k;
}

// id -> generation of every record in crash file 0 of dir, read along key 0;
// each record must be the image its id and generation stand for.
std::map<uint32_t, uint32_t> ReadAll(const std::string& dir) {
  std::map<uint32_t, uint32_t> out;
  BtrFile f;
  EXPECT_EQ(f.Open(crash::FileName(dir, 0)), 0);
  std::vector<uint8_t> rec(kRecordLength);
  for (int st = f.Get(B_GET_FIRST, &rec); st != B_END_OF_FILE; st = f.Get(B_GET_NEXT, &rec)) {
    if (st != 0) {
      ADD_FAILURE() << "read returned " << st;
      break;
    }
    uint32_t id = rec[0] | rec[1] << 8 | rec[2] << 16 | uint32_t(rec[3]) << 24;
    uint32_t gen = rec[16] | rec[17] << 8 | rec[18] << 16 | uint32_t(rec[19]) << 24;
    EXPECT_EQ(rec, MakeRecord(0, id, gen)) << "record " << id << " is damaged";
    out[id] = gen;
  }
  return out;
}

// Problems the record-file check finds in path.
int Check(const std::string& path) {
  std::string problems;
  int found = CheckRecordFile(path, &problems);
  EXPECT_EQ(problems, "");
  return found;
}

std::map<uint32_t, uint32_t> Identity(uint32_t n) {
  std::map<uint32_t, uint32_t> m;
  for (uint32_t id = 1; id <= n; ++id) m[id] = id;
  return m;
}

// Positions f on record id (Get Equal on key 0); returns the status.
int Find(BtrFile& f, uint32_t id, std::vector<uint8_t>* rec) {
  std::vector<uint8_t> k = KeyOf(id);
  std::copy(k.begin(), k.end(), f.key());
  return f.Get(B_GET_EQUAL, rec);
}

TEST(DiskFull, WritesReturn18AndTheFileKeepsExactlyWhatWasAcknowledged) {
  TmpfsMount m(3 << 20);
  if (!m.ok()) GTEST_SKIP() << m.why();
  ASSERT_EQ(crash::CreateRecordFile(m.path(), 0), 0);
  std::map<uint32_t, uint32_t> expected;
  BtrFile f;
  ASSERT_EQ(f.Open(crash::FileName(m.path(), 0)), 0);
  for (uint32_t id = 1; id <= 20; ++id) {
    ASSERT_EQ(f.Insert(MakeRecord(0, id, id)), 0);
    expected[id] = id;
  }
  std::string ballast = FillUpTo(m.path(), 48 << 10);
  ASSERT_FALSE(ballast.empty());

  // Single inserts until the storage refuses one.
  int st = 0;
  uint32_t id = 21;
  for (; id < 5000 && st == 0; ++id) {
    st = f.Insert(MakeRecord(0, id, id));
    if (st == 0) expected[id] = id;
  }
  EXPECT_EQ(st, B_DISK_FULL) << "after " << id - 21 << " inserts";
  std::printf("full after %u inserts\n", id - 21);

  // Updates and a transaction on the full storage: each either stores as a
  // whole and returns 0, or returns 18 and stores nothing.
  std::vector<uint8_t> rec(kRecordLength);
  for (uint32_t u = 1; u <= 5; ++u) {
    ASSERT_EQ(Find(f, u, &rec), 0);
    st = f.Call(B_UPDATE, MakeRecord(0, u, 100000 + u).data(), kRecordLength, 0);
    EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
    if (st == 0) expected[u] = 100000 + u;
  }
  ASSERT_EQ(BtrClientCall(B_BEGIN_TRAN), 0);
  std::map<uint32_t, uint32_t> inTransaction;
  bool refused = false;
  for (uint32_t t = 10000; t < 10200 && !refused; ++t) {
    st = f.Insert(MakeRecord(0, t, t));
    EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
    refused = st != 0;
    if (st == 0) inTransaction[t] = t;
  }
  st = BtrClientCall(refused ? B_ABORT_TRAN : B_END_TRAN);
  EXPECT_TRUE(st == 0 || (!refused && st == B_DISK_FULL)) << st;
  if (!refused && st == 0) expected.insert(inTransaction.begin(), inTransaction.end());

  // Room again: the file holds what was acknowledged, passes the check and
  // takes writes.
  f.Close();
  ASSERT_EQ(unlink(ballast.c_str()), 0);
  BtrClientCall(B_RESET);
  EXPECT_EQ(ReadAll(m.path()), expected);
  EXPECT_EQ(Check(crash::FileName(m.path(), 0)), 0);
  ASSERT_EQ(f.Open(crash::FileName(m.path(), 0)), 0);
  EXPECT_EQ(f.Insert(MakeRecord(0, 60000, 60000)), 0);
}

// A transaction over a file on ample storage and one on full storage: End
// stores both files' part or neither. Each file on its own is always whole;
// whether the record manager keeps the two together is reported.
TEST(DiskFull, TransactionOverTwoFilesWhereOneCannotGrow) {
  TmpfsMount m(3 << 20);
  if (!m.ok()) GTEST_SKIP() << m.why();
  TempDir roomy;
  ASSERT_EQ(crash::CreateRecordFile(roomy.path(), 0), 0);
  ASSERT_EQ(crash::CreateRecordFile(m.path(), 0), 0);
  BtrFile a, b;
  ASSERT_EQ(a.Open(crash::FileName(roomy.path(), 0)), 0);
  ASSERT_EQ(b.Open(crash::FileName(m.path(), 0)), 0);
  ASSERT_FALSE(FillUpTo(m.path(), 48 << 10).empty());

  ASSERT_EQ(BtrClientCall(B_BEGIN_TRAN), 0);
  ASSERT_EQ(a.Insert(MakeRecord(0, 1, 1)), 0);  // a joins first
  int st = 0;
  uint32_t inserted = 0;
  for (uint32_t id = 1; id <= 400 && st == 0; ++id) {
    st = b.Insert(MakeRecord(0, id, id));
    if (st == 0) ++inserted;
  }
  int end = st == 0 ? BtrClientCall(B_END_TRAN) : BtrClientCall(B_ABORT_TRAN);
  bool committed = st == 0 && end == 0;
  EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
  EXPECT_TRUE(end == 0 || (st == 0 && end == B_DISK_FULL)) << end;
  a.Close();
  b.Close();
  BtrClientCall(B_RESET);

  std::map<uint32_t, uint32_t> inA = ReadAll(roomy.path()), inB = ReadAll(m.path());
  std::map<uint32_t, uint32_t> wantA, wantB;
  if (committed) {
    wantA = Identity(1);
    wantB = Identity(inserted);
  }
  EXPECT_EQ(inB, wantB) << "the full file is not whole";
  std::printf(
      "two-file transaction: %u inserts then status %d, End %d; the roomy file holds %zu "
      "of its 1 record\n",
      inserted, st, end, inA.size());
  EXPECT_EQ(inA, wantA) << "End returned " << end
                        << " but the other file of the transaction kept its part";
  EXPECT_EQ(Check(crash::FileName(roomy.path(), 0)), 0);
  EXPECT_EQ(Check(crash::FileName(m.path(), 0)), 0);
}

// Every kind of write on f is refused with 46; reads still work.
void ExpectWritesRefused(BtrFile& f, uint32_t records) {
  std::vector<uint8_t> rec(kRecordLength);
  uint32_t seen = 0;
  for (int st = f.Get(B_GET_FIRST, &rec); st == 0; st = f.Get(B_GET_NEXT, &rec)) ++seen;
  EXPECT_EQ(seen, records);
  EXPECT_EQ(f.Insert(MakeRecord(0, 9999, 9999)), B_ACCESS_DENIED);
  ASSERT_EQ(Find(f, 1, &rec), 0);
  EXPECT_EQ(f.Call(B_UPDATE, MakeRecord(0, 1, 77).data(), kRecordLength, 0), B_ACCESS_DENIED);
  ASSERT_EQ(Find(f, 2, &rec), 0);
  EXPECT_EQ(f.Call(B_DELETE, rec.data(), kRecordLength, 0), B_ACCESS_DENIED);
  ASSERT_EQ(BtrClientCall(B_BEGIN_TRAN), 0);
  int st = f.Insert(MakeRecord(0, 9998, 9998));
  if (st == 0) {
    EXPECT_EQ(BtrClientCall(B_END_TRAN), B_ACCESS_DENIED);
  } else {
    EXPECT_EQ(st, B_ACCESS_DENIED);
    EXPECT_EQ(BtrClientCall(B_ABORT_TRAN), 0);
  }
}

// A crash file with records 1..n in dir, every file closed afterwards.
void MakeFile(const std::string& dir, uint32_t n) {
  ASSERT_EQ(crash::CreateRecordFile(dir, 0), 0);
  BtrFile f;
  ASSERT_EQ(f.Open(crash::FileName(dir, 0)), 0);
  for (uint32_t id = 1; id <= n; ++id) ASSERT_EQ(f.Insert(MakeRecord(0, id, id)), 0);
  f.Close();
  BtrClientCall(B_RESET);
}

TEST(ReadOnlyStorage, WritesInAReadOnlyDirectoryReturn46) {
  TmpfsMount m(4 << 20);
  if (!m.ok()) GTEST_SKIP() << m.why();
  MakeFile(m.path(), 12);
  ASSERT_TRUE(m.SetReadOnly(true));
  {
    BtrFile f;
    ASSERT_EQ(f.Open(crash::FileName(m.path(), 0)), 0);
    ExpectWritesRefused(f, 12);
  }
  ASSERT_TRUE(m.SetReadOnly(false));
  EXPECT_EQ(ReadAll(m.path()), Identity(12));
  EXPECT_EQ(Check(crash::FileName(m.path(), 0)), 0);
}

TEST(ReadOnlyStorage, WritesToAReadOnlyFileReturn46) {
  TempDir dir;
  MakeFile(dir.path(), 7);
  {
    ReadOnlyFile ro(crash::FileName(dir.path(), 0));
    if (!ro.ok()) GTEST_SKIP() << "cannot bind-mount a file read-only here";
    BtrFile f;
    ASSERT_EQ(f.Open(crash::FileName(dir.path(), 0)), 0);
    ExpectWritesRefused(f, 7);
  }
  EXPECT_EQ(ReadAll(dir.path()), Identity(7));
  EXPECT_EQ(Check(crash::FileName(dir.path(), 0)), 0);
}

TEST(ReadOnlyStorage, ReadOnlyOpenModeRefusesWritesBesideAWritableOpen) {
  TempDir dir;
  MakeFile(dir.path(), 5);
  BtrFile reader, writer;
  ASSERT_EQ(reader.Open(crash::FileName(dir.path(), 0), B_MODE_READ_ONLY), 0);
  ASSERT_EQ(writer.Open(crash::FileName(dir.path(), 0)), 0);
  ExpectWritesRefused(reader, 5);
  EXPECT_EQ(writer.Insert(MakeRecord(0, 6, 6)), 0);
}

}  // namespace
}  // namespace reclink::test
