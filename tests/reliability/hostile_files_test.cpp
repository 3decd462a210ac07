// Files that are not ours, cut short or overwritten: opening or reading them
// gives 2 or 30, never a crash, and the record-file check says what is wrong.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "crash_workload.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

void Overwrite(const std::string& path, off_t at, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0) << path;
  EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

off_t SizeOf(const std::string& path) {
  return static_cast<off_t>(std::ifstream(path, std::ios::binary | std::ios::ate).tellg());
}

void Sql(const std::string& path, const char* sql) {
  unlink(path.c_str());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

struct Hostile {
  const char* name;                                // what was done to the file
  bool foreign;                                    // never a record file: Open must refuse
  std::function<void(const std::string&)> damage;  // does it
};

// A sound crash file of 200 records is made in each case, then damaged.
const Hostile kCases[] = {
    {"empty", true, [](const std::string& p) { truncate(p.c_str(), 0); }},
    {"foreign database", true,
     [](const std::string& p) { Sql(p, "CREATE TABLE t(x); INSERT INTO t VALUES (1);"); }},
    {"foreign database with a records table", true,
     [](const std::string& p) { Sql(p, "CREATE TABLE records(id INTEGER PRIMARY KEY, data BLOB);"); }},
    {"truncated to 100 bytes", true, [](const std::string& p) { truncate(p.c_str(), 100); }},
    {"truncated to half", false, [](const std::string& p) { truncate(p.c_str(), SizeOf(p) / 2); }},
    {"middle pages garbage", false,
     [](const std::string& p) { Overwrite(p, SizeOf(p) / 2 & ~4095, RandomBytes(8192, 4)); }},
    {"every page's header zeroed", false,
     [](const std::string& p) {
       for (off_t at = 4096; at < SizeOf(p); at += 4096) Overwrite(p, at, std::string(12, '\0'));
     }},
};

// Stands for a read that returned 0 with bytes that are not a stored record.
constexpr int kWrongRecord = -1;

// One read; a record it returns must be one that was stored, byte for byte.
int Read(BtrFile& f, uint16_t op, int keyNum) {
  int st = f.Get(op, static_cast<int8_t>(keyNum));
  if (st != 0) return st;
  uint32_t id = crash::U32At(f.data.data());
  return f.Record() == crash::MakeRecord(0, id, id) ? 0 : kWrongRecord;
}

// The statuses of every kind of read, an insert and a stat on f.
std::set<int> Exercise(BtrFile& f) {
  std::set<int> seen;
  for (int keyNum = 0; keyNum < 3; ++keyNum) {
    // Key 2 stands for the physical order.
    uint16_t first = keyNum < 2 ? B_GET_FIRST : B_STEP_FIRST;
    uint16_t next = keyNum < 2 ? B_GET_NEXT : B_STEP_NEXT;
    int st = Read(f, first, keyNum % 2);
    for (int n = 0; st == 0 && n < 1000; ++n) st = Read(f, next, keyNum % 2);
    seen.insert(st);
    if (keyNum < 2) seen.insert(Read(f, B_GET_LAST, keyNum));
  }
  seen.insert(f.Insert(crash::MakeRecord(0, 777777, 777777)));
  seen.insert(f.Call(B_STAT, 0));
  return seen;
}

TEST(HostileFiles, DamagedAndForeignFilesGive2Or30AndNeverCrash) {
  for (const Hostile& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_EQ(crash::CreateRecordFile(dir.path(), 0, 200), 0);
    Tx(B_RESET);
    std::string path = crash::FileName(dir.path(), 0);
    c.damage(path);

    BtrFile f;
    int st = f.Open(path);
    EXPECT_TRUE((st == 0 && !c.foreign) || st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE)
        << "open gave " << st;
    if (st == 0) {
      std::set<int> seen = Exercise(f);
      EXPECT_EQ(seen.count(kWrongRecord), 0u) << "a read returned bytes that were never stored";
      for (int s : seen) {
        EXPECT_TRUE(s == 0 || s == B_END_OF_FILE || s == B_IO_ERROR || s == B_NOT_A_BTRIEVE_FILE ||
                    s == kWrongRecord)
            << "status " << s;
      }
      // Damage that reads cannot miss must be reported by them.
      EXPECT_TRUE(seen.count(B_IO_ERROR) || seen.count(B_NOT_A_BTRIEVE_FILE))
          << "no read noticed the damage";
    }
    f.Close();
    Tx(B_RESET);
    std::string problems;
    EXPECT_NE(crash::CheckRecordFile(path, &problems), 0) << "the check passed a damaged file";
    EXPECT_FALSE(problems.empty()) << "the check gave no reason";
  }
}

}  // namespace
}  // namespace reclink::test
