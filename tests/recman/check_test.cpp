// The file check finds damage that SQLite alone would not: key columns that
// no longer match the record bytes, wrong record lengths, null keys stored
// as values. Reads of a damaged record give 2; a file damaged while open
// gives statuses, never a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "reclink/recman_check.h"
#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Runs sql on a file directly, bypassing the engine: 0, or -1 on failure.
int Sql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open(path.c_str(), &db) == SQLITE_OK ? sqlite3_exec(db, sql, nullptr, nullptr, nullptr) : -1;
  sqlite3_close(db);
  return rc == SQLITE_OK ? 0 : -1;
}

void Collect(void* ctx, const char* problem) { static_cast<std::vector<std::string>*>(ctx)->push_back(problem); }

TEST(CheckTest, SoundFileThenEachKindOfDamage) {
  TempDir dir;
  const std::string path = dir.file("check.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(32, 2, {{1, 8, 0}, {9, 4, B_KEY_DUPLICATES | B_KEY_NULL, B_TYPE_STRING, ' '}})), 0);
  BtrFile f(32);
  ASSERT_EQ(f.Open(path), 0);
  for (const char* n : {"a", "b", "c", "d"}) {
    ASSERT_EQ(f.Insert(MakeRecord(32, {{0, n}, {8, n[0] == 'd' ? "    " : "grp "}})), 0);
  }
  ASSERT_EQ(f.Close(), 0);
  std::vector<std::string> problems;
  EXPECT_EQ(BtrCheckFile(path.c_str(), Collect, &problems), 0);
  EXPECT_TRUE(problems.empty());

  ASSERT_EQ(Sql(path, "UPDATE records SET k0 = x'7a00000000000000' WHERE pos = 2;"
                      "UPDATE records SET k1 = x'20202020' WHERE pos = 4;"
                      "UPDATE records SET data = x'6100' WHERE pos = 3"), 0);
  EXPECT_EQ(BtrCheckFile(path.c_str(), Collect, &problems), 3);
  EXPECT_THAT(problems, ::testing::ElementsAre(::testing::HasSubstr("position 2: key 0"),
                                               ::testing::HasSubstr("position 3: length 2"),
                                               ::testing::HasSubstr("position 4: key 1")));
  // The engine refuses to hand out the cut record, by key, step or position.
  ASSERT_EQ(f.Open(path), 0);
  EXPECT_EQ(f.Get(B_GET_EQUAL, 0, "c"), B_IO_ERROR);
  EXPECT_EQ(f.Direct(3, -1), B_IO_ERROR);
  ASSERT_EQ(f.Step(B_STEP_FIRST), 0);
  ASSERT_EQ(f.Step(B_STEP_NEXT), 0);
  EXPECT_EQ(f.Step(B_STEP_NEXT), B_IO_ERROR);

  // Files that are not record files: the check refuses them (-1) rather
  // than count problems in them.
  problems.clear();
  std::ofstream(dir.file("junk.dat")) << std::string(5000, 'j');
  ASSERT_EQ(Sql(dir.file("other.db"), "CREATE TABLE t(x)"), 0);
  for (const std::string& name : {dir.file("missing.dat"), dir.file("junk.dat"), dir.file("other.db")}) {
    EXPECT_EQ(BtrCheckFile(name.c_str(), Collect, &problems), -1) << name;
  }
  EXPECT_EQ(BtrCheckFile(nullptr, Collect, &problems), -1);
  EXPECT_EQ(problems.size(), 4u);
}

// A file cut short or scribbled over while open: statuses, never a crash.
TEST(CheckTest, FileScribbledOverWhileOpen) {
  TempDir dir;
  const std::string path = dir.file("small.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(32, 1, {{1, 8, 0}})), 0);
  BtrFile f(32);
  ASSERT_EQ(f.Open(path), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(f.Insert(MakeRecord(32, {{0, "k" + std::to_string(i)}})), 0);
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(f.Get(B_GET_FIRST, 0), 0);
  std::error_code refused;  // 64-bit Windows cuts no file the engine has mapped
  std::filesystem::resize_file(path, 5000, refused);
  for (uint16_t op : {B_GET_LAST, B_GET_NEXT, B_STEP_LAST, B_GET_FIRST, B_INSERT}) {
    const int st = op == B_INSERT ? f.Insert(MakeRecord(32, {{0, "late"}})) : f.Get(op, 0);
    EXPECT_TRUE(st == B_IO_ERROR || st == 0 || st == B_END_OF_FILE) << op << " gave " << st;
  }
  EXPECT_EQ(f.Close(), 0);
  // Scribbled over between a Close and the next Open of this process.
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).write(std::string(4096, 'Z').data(), 4096);
  const int st = f.Open(path);
  EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << st;
}

}  // namespace
}  // namespace reclink::test
