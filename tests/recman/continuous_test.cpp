// Continuous operation: a frozen record file stays unchanged on disk while
// programs go on writing it, so that a copy taken meanwhile is the file as
// it was when frozen; thawed, the writes reach the file. SQLite's files
// only: who may freeze and thaw what, on either backend, is a call script,
// and that a copy of a frozen file is whole is the backup command's test.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 16;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// What SQLite does on its own now and then: copy the log into the file.
void Checkpoint(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

TEST(ContinuousTest, AFrozenFileStaysAsItWasWhileWritesGoOn) {
  TempDir dir;
  const std::string a = dir.file("a.dat"), b = dir.file("b.dat");
  for (const std::string& p : {a, b}) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(a), 0);
  ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "a"}})), 0);
  // Continuous Operation: key number 0 freezes the files named, 2 thaws
  // them, 1 thaws all the client's.
  auto continuous = [&](int8_t keyNum, const std::string& names) {
    return f.Write(B_CONTINUOUS, names.empty() ? names : names + '\0', keyNum);
  };
  ASSERT_EQ(continuous(0, a + "," + b), 0);
  const std::string frozen = Bytes(a);
  for (char c = 'b'; c <= 'z'; ++c) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, std::string(1, c)}})), 0);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "a"), 0);
  ASSERT_EQ(f.Delete(), 0);
  Checkpoint(a);
  EXPECT_EQ(Bytes(a), frozen) << "the file itself did not change";
  EXPECT_EQ(f.Walk(0).size(), 25u) << "readers see every write";

  // Thawed, the next copy of the log brings the writes in.
  ASSERT_EQ(continuous(2, b), 0);
  ASSERT_EQ(continuous(1, ""), 0);
  Checkpoint(a);
  EXPECT_NE(Bytes(a), frozen);
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(f.Open(a), 0);
  EXPECT_EQ(f.Walk(0).size(), 25u);
  Tx(B_RESET);
}

}  // namespace
}  // namespace reclink::test
