// A transaction over two files whose process dies in the middle of End:
// the next Open puts every file back to all of the transaction or none.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 24;

int Tx(uint16_t op) { return BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0); }

// Rows left in one of the engine's bookkeeping tables.
int64_t Leftovers(const std::string& path, const char* table) {
  sqlite3* db = nullptr;
  int64_t n = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM ") + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      n = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return n;
}

class CrashInEndTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    a_ = dir_.file("a.dat");
    b_ = dir_.file("b.dat");
    for (const std::string& p : {a_, b_}) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 10, 0}})), 0);
    BtrFile b;
    ASSERT_EQ(b.Open(b_), 0);
    ASSERT_EQ(b.Insert(MakeRecord(kLen, {{0, "old"}, {12, "before"}})), 0);
    ASSERT_EQ(b.Insert(MakeRecord(kLen, {{0, "gone"}})), 0);
    ASSERT_EQ(b.Close(), 0);
  }

  // In a child: one transaction writing a (first) and b, stopped at point
  // (empty: not stopped). Returns the child's exit code.
  int RunTransaction(const char* point) {
    Tx(B_RESET);
    const pid_t pid = fork();
    if (pid == 0) {
      if (*point) setenv("RECMAN_TEST_CRASH_IN_END", point, 1);
      BtrFile a, b;
      b.recordLength = kLen;
      if (a.Open(a_) != 0 || b.Open(b_) != 0 || Tx(B_BEGIN_TRAN) != 0) _exit(1);
      if (a.Insert(MakeRecord(kLen, {{0, "a1"}})) != 0) _exit(2);
      if (b.Insert(MakeRecord(kLen, {{0, "b1"}})) != 0) _exit(3);
      if (b.Get(B_GET_EQUAL, 0, "old") != 0 || b.Update(MakeRecord(kLen, {{0, "old"}, {12, "after"}})) != 0) _exit(4);
      if (b.Get(B_GET_EQUAL, 0, "gone") != 0 || b.Delete() != 0) _exit(5);
      _exit(Tx(B_END_TRAN) == 0 ? 0 : 6);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // What b holds, in key order, with the note field of "old".
  std::string Contents(const std::string& path) {
    BtrFile f;
    f.recordLength = kLen;
    EXPECT_EQ(f.Open(path), 0);
    std::string out;
    for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
      out += f.Field(0);
      if (f.Field(0) == "old") out += "=" + f.Field(12);
      out += " ";
    }
    EXPECT_EQ(f.Close(), 0);
    return out;
  }

  reclink::test::TempDir dir_;
  std::string a_, b_;
};

TEST_P(CrashInEndTest, NextOpenSettlesAllOrNothing) {
  const std::string point = GetParam();
  ASSERT_EQ(RunTransaction(point.c_str()), point.empty() ? 0 : 86);
  const bool happened = point != "participant";
  // Opening b settles it first: it asks a, the file that decides.
  EXPECT_EQ(Contents(b_), happened ? "b1 old=after " : "gone old=before ");
  EXPECT_EQ(Contents(a_), happened ? "a1 " : "");
  for (const std::string& p : {a_, b_}) {
    EXPECT_EQ(Leftovers(p, "recman_pending"), 0) << p;
    EXPECT_EQ(Leftovers(p, "recman_undo"), 0) << p;
    EXPECT_EQ(Leftovers(p, "recman_decided"), 0) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(StopPoints, CrashInEndTest, ::testing::Values("", "participant", "decided"));

}  // namespace
}  // namespace recman_test
