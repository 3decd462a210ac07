// The file check finds damage that SQLite alone would not: key columns that
// no longer match the record bytes, wrong record lengths, repeated values.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>

#include "recman_fixture.h"
#include "reclink/recman_check.h"

namespace recman_test {
namespace {

void Collect(void* ctx, const char* problem) {
  static_cast<std::vector<std::string>*>(ctx)->push_back(problem);
}

// Runs sql on path directly, bypassing the engine.
void Tamper(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

TEST(CheckTest, SoundFileThenEachKindOfDamage) {
  reclink::test::TempDir dir;
  const std::string path = dir.file("check.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(32, 2, {{1, 8, 0}, {9, 4, B_KEY_DUPLICATES | B_KEY_NULL,
                                                          B_TYPE_STRING, ' '}})),
            0);
  {
    BtrFile f;
    ASSERT_EQ(f.Open(path), 0);
    for (const char* n : {"a", "b", "c", "d"}) {
      ASSERT_EQ(f.Insert(MakeRecord(32, {{0, n}, {8, n[0] == 'd' ? "    " : "grp "}})), 0);
    }
  }
  std::vector<std::string> problems;
  EXPECT_EQ(BtrCheckFile(path.c_str(), Collect, &problems), 0);
  EXPECT_TRUE(problems.empty());
  // The engine's own spelling of paths is understood.
  std::string windows = dir.path() + "\\check.dat";
  EXPECT_EQ(BtrCheckFile(windows.c_str(), nullptr, nullptr), 0);

  // A key column that disagrees with its record; a null key stored as a
  // value; a record of the wrong length.
  Tamper(path, "UPDATE records SET k0 = x'7a00000000000000' WHERE pos = 2");
  Tamper(path, "UPDATE records SET k1 = x'20202020' WHERE pos = 4");
  Tamper(path, "UPDATE records SET data = x'6100' WHERE pos = 3");
  problems.clear();
  EXPECT_EQ(BtrCheckFile(path.c_str(), Collect, &problems), 3);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("position 2: key 0"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("position 3: length 2"), std::string::npos) << problems[1];
  EXPECT_NE(problems[2].find("position 4: key 1"), std::string::npos) << problems[2];
}

TEST(CheckTest, FilesThatAreNotRecordFiles) {
  reclink::test::TempDir dir;
  std::vector<std::string> problems;
  EXPECT_EQ(BtrCheckFile(dir.file("missing.dat").c_str(), Collect, &problems), -1);
  EXPECT_EQ(BtrCheckFile(nullptr, Collect, &problems), -1);
  std::ofstream(dir.file("junk.dat")) << std::string(5000, 'j');
  EXPECT_EQ(BtrCheckFile(dir.file("junk.dat").c_str(), Collect, &problems), -1);
  Tamper(dir.file("other.db"), "CREATE TABLE t(x)");
  EXPECT_EQ(BtrCheckFile(dir.file("other.db").c_str(), Collect, &problems), -1);
  ASSERT_EQ(mkfifo(dir.file("fifo.dat").c_str(), 0600), 0);
  EXPECT_EQ(BtrCheckFile(dir.file("fifo.dat").c_str(), Collect, &problems), -1);
  EXPECT_EQ(problems.size(), 5u);
}

}  // namespace
}  // namespace recman_test
