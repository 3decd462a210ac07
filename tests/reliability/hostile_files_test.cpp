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

#include "btr_file.h"
#include "crash_workload.h"
#include "file_check.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

void Sql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

void Overwrite(const std::string& path, off_t at, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

off_t SizeOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<off_t>(in.tellg());
}

struct Hostile {
  const char* name;                                // what was done to the file
  bool foreign;                                    // never a record file: Open must refuse
  std::function<void(const std::string&)> damage;  // does it
};

// A sound crash file of 200 records is made in each case, then damaged.
const std::vector<Hostile>& Cases() {
  static const std::vector<Hostile> cases = {
      {"empty", true, [](const std::string& p) { WriteBytes(p, ""); }},
      {"text", true, [](const std::string& p) { WriteBytes(p, "PATIENT,1234\r\n\x1a"); }},
      {"random bytes", true, [](const std::string& p) { WriteBytes(p, RandomBytes(16384, 1)); }},
      {"foreign database", true,
       [](const std::string& p) {
         unlink(p.c_str());
         Sql(p, "CREATE TABLE t(x); INSERT INTO t VALUES (1);");
       }},
      {"foreign database with a records table", true,
       [](const std::string& p) {
         unlink(p.c_str());
         Sql(p, "CREATE TABLE records(id INTEGER PRIMARY KEY, data BLOB);");
       }},
      {"truncated to 100 bytes", true, [](const std::string& p) { truncate(p.c_str(), 100); }},
      {"header overwritten", true,
       [](const std::string& p) { Overwrite(p, 0, RandomBytes(100, 2)); }},
      {"truncated to half", false,
       [](const std::string& p) { truncate(p.c_str(), SizeOf(p) / 2); }},
      {"last page garbage", false,
       [](const std::string& p) { Overwrite(p, SizeOf(p) - 4096, RandomBytes(4096, 3)); }},
      {"middle pages garbage", false,
       [](const std::string& p) { Overwrite(p, SizeOf(p) / 2 & ~4095, RandomBytes(8192, 4)); }},
      {"every page's header zeroed", false,
       [](const std::string& p) {
         for (off_t at = 4096; at < SizeOf(p); at += 4096) Overwrite(p, at, std::string(12, '\0'));
       }},
  };
  return cases;
}

// Every read and write of a damaged file: 2 or 30 or an ordinary outcome.
// Stands for a read that returned 0 with bytes that are not a stored record.
constexpr int kWrongRecord = -1;

// One read; a record it returns must be one that was stored, byte for byte.
int Read(BtrFile& f, uint16_t op, int keyNum, std::vector<uint8_t>* rec) {
  int st = f.Get(op, rec, static_cast<int8_t>(keyNum));
  if (st != 0) return st;
  uint32_t id = (*rec)[0] | (*rec)[1] << 8 | (*rec)[2] << 16 | uint32_t((*rec)[3]) << 24;
  return f.length() == crash::kRecordLength && *rec == crash::MakeRecord(0, id, id) ? 0
                                                                                    : kWrongRecord;
}

// Every read and write of a damaged file: 2 or 30 or an ordinary outcome.
void Exercise(BtrFile& f, std::set<int>* seen) {
  std::vector<uint8_t> rec(crash::kRecordLength);
  for (int keyNum = 0; keyNum < 2; ++keyNum) {
    int st = Read(f, B_GET_FIRST, keyNum, &rec);
    for (int n = 0; st == 0 && n < 1000; ++n) st = Read(f, B_GET_NEXT, keyNum, &rec);
    seen->insert(st);
    seen->insert(Read(f, B_GET_LAST, keyNum, &rec));
  }
  for (int st = Read(f, B_STEP_FIRST, 0, &rec), n = 0; n < 1000; ++n) {
    seen->insert(st);
    if (st != 0) break;
    st = Read(f, B_STEP_NEXT, 0, &rec);
  }
  seen->insert(f.Insert(crash::MakeRecord(0, 777777, 777777)));
  std::vector<uint8_t> stat(4096);
  seen->insert(f.Call(B_STAT, stat.data(), 4096, 0));
}

TEST(HostileFiles, DamagedAndForeignFilesGive2Or30AndNeverCrash) {
  for (const Hostile& c : Cases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_EQ(crash::CreateRecordFile(dir.path(), 0), 0);
    std::string path = crash::FileName(dir.path(), 0);
    {
      BtrFile f;
      ASSERT_EQ(f.Open(path), 0);
      ASSERT_EQ(BtrClientCall(B_BEGIN_TRAN), 0);
      for (uint32_t id = 1; id <= 200; ++id) ASSERT_EQ(f.Insert(crash::MakeRecord(0, id, id)), 0);
      ASSERT_EQ(BtrClientCall(B_END_TRAN), 0);
    }
    BtrClientCall(B_RESET);
    c.damage(path);

    BtrFile f;
    int st = f.Open(path);
    if (c.foreign) {
      EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << "open gave " << st;
    } else {
      EXPECT_TRUE(st == 0 || st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << "open gave " << st;
    }
    if (st == 0) {
      std::set<int> seen;
      Exercise(f, &seen);
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
    BtrClientCall(B_RESET);
    std::string problems;
    EXPECT_NE(CheckRecordFile(path, &problems), 0) << "the check passed a damaged file";
    EXPECT_FALSE(problems.empty()) << "the check gave no reason";
  }
}

}  // namespace
}  // namespace reclink::test
