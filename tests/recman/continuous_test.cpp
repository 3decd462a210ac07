// Continuous operation: a frozen record file stays unchanged on disk while
// programs go on writing it, so that a copy taken meanwhile is the file as
// it was when frozen; thawed, the writes reach the file. SQLite's files
// only: who may freeze and thaw what, on either backend, is a call script.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <string>

#include "reclink/recman_check.h"
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

class ContinuousTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& p : {a_, b_}) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Open(a_), 0);
    ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "a"}})), 0);
  }
  void TearDown() override { Tx(B_RESET); }

  // Continuous Operation with key number keyNum on the files named.
  int Continuous(int8_t keyNum, const std::string& names) {
    return f_.Write(B_CONTINUOUS, names.empty() ? names : names + '\0', keyNum);
  }

  TempDir dir_;
  const std::string a_ = dir_.file("a.dat"), b_ = dir_.file("b.dat");
  BtrFile f_;
};

TEST_F(ContinuousTest, AFrozenFileStaysAsItWasWhileWritesGoOn) {
  ASSERT_EQ(Continuous(0, a_ + "," + b_), 0);
  const std::string frozen = Bytes(a_);
  for (char c = 'b'; c <= 'z'; ++c) ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, std::string(1, c)}})), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "a"), 0);
  ASSERT_EQ(f_.Delete(), 0);
  Checkpoint(a_);
  EXPECT_EQ(Bytes(a_), frozen) << "the file itself did not change";
  EXPECT_EQ(f_.Walk(0).size(), 25u) << "readers see every write";

  // A copy taken now is the file as it was frozen, whole.
  const std::string copy = dir_.file("copy.dat");
  std::ofstream(copy, std::ios::binary) << frozen;
  EXPECT_EQ(BtrCheckFile(copy.c_str(), nullptr, nullptr), 0);
  {
    BtrFile c(kLen);
    ASSERT_EQ(c.Open(copy), 0);
    EXPECT_EQ(c.Walk(0), std::vector<std::string>{"a"});
  }
  // Nothing replaces a frozen file.
  EXPECT_EQ(CreateFile(b_, MakeSpec(kLen, 1, {{1, 8, 0}})), B_FILE_INUSE);

  // Thawed, the next copy of the log brings the writes in.
  ASSERT_EQ(Continuous(2, b_), 0);
  ASSERT_EQ(Continuous(1, ""), 0);
  Checkpoint(a_);
  EXPECT_NE(Bytes(a_), frozen);
  ASSERT_EQ(f_.Close(), 0);
  BtrFile again(kLen);
  ASSERT_EQ(again.Open(a_), 0);
  EXPECT_EQ(again.Walk(0).size(), 25u);
}

}  // namespace
}  // namespace reclink::test
