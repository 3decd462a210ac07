// The file check finds damage that SQLite alone would not: key columns that
// no longer match the record bytes, wrong record lengths, null keys stored
// as values. Reads of a damaged record give 2. Storage that refuses writes.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "recman_fixture.h"
#include "reclink/recman_check.h"

namespace recman_test {
namespace {

void Collect(void* ctx, const char* problem) { static_cast<std::vector<std::string>*>(ctx)->push_back(problem); }

TEST(CheckTest, SoundFileThenEachKindOfDamage) {
  reclink::test::TempDir dir;
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
  EXPECT_EQ(BtrCheckFile((dir.path() + "\\check.dat").c_str(), nullptr, nullptr), 0) << "backslashed name";

  ASSERT_EQ(Sql(path, "UPDATE records SET k0 = x'7a00000000000000' WHERE pos = 2"), 0);
  ASSERT_EQ(Sql(path, "UPDATE records SET k1 = x'20202020' WHERE pos = 4"), 0);
  ASSERT_EQ(Sql(path, "UPDATE records SET data = x'6100' WHERE pos = 3"), 0);
  EXPECT_EQ(BtrCheckFile(path.c_str(), Collect, &problems), 3);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("position 2: key 0"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("position 3: length 2"), std::string::npos) << problems[1];
  EXPECT_NE(problems[2].find("position 4: key 1"), std::string::npos) << problems[2];
  // The engine refuses to hand out the cut record, by key, step or position.
  ASSERT_EQ(f.Open(path), 0);
  EXPECT_EQ(f.Get(B_GET_EQUAL, 0, "c"), B_IO_ERROR);
  EXPECT_EQ(f.Direct(3, -1), B_IO_ERROR);
  ASSERT_EQ(f.Step(B_STEP_FIRST), 0);
  ASSERT_EQ(f.Step(B_STEP_NEXT), 0);
  EXPECT_EQ(f.Step(B_STEP_NEXT), B_IO_ERROR);

  // Files that are not record files.
  problems.clear();
  std::ofstream(dir.file("junk.dat")) << std::string(5000, 'j');
  ASSERT_EQ(Sql(dir.file("other.db"), "CREATE TABLE t(x)"), 0);
  ASSERT_EQ(mkfifo(dir.file("fifo.dat").c_str(), 0600), 0);
  for (const char* name : {"missing.dat", "junk.dat", "other.db", "fifo.dat"}) {
    EXPECT_EQ(BtrCheckFile(dir.file(name).c_str(), Collect, &problems), -1) << name;
  }
  EXPECT_EQ(BtrCheckFile(nullptr, Collect, &problems), -1);
  EXPECT_EQ(problems.size(), 5u);
}


// Storage that refuses writes: a full file system (18, file left sound) and
// a read-only mount (46 on every write, reads go on). Needs the right to
// mount; skipped where that is missing.

constexpr uint16_t kBig = 3000;

// A small tmpfs (size given) or a read-only view of source, unmounted at the end.
struct MountedDir {
  MountedDir(const std::string& at, const std::string& size, const std::string& source = {}) : at(at) {
    std::filesystem::create_directories(at);
    ok = source.empty()
             ? mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0
             : mount(source.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                   mount(nullptr, at.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  ~MountedDir() { umount2(at.c_str(), MNT_DETACH); }
  std::string at;
  bool ok = false;
};

const std::vector<uint8_t> kSpec = MakeSpec(kBig, 1, {{1, 12, 0}});
std::string Numbered(int i) { return MakeRecord(kBig, {{0, "r" + std::to_string(i)}, {100, std::string(2000, 'p')}}); }

TEST(StorageLimitsTest, FullFileSystemAndReadOnlyMount) {
  reclink::test::TempDir dir;
  MountedDir full(dir.file("small"), "400k");
  if (!full.ok) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string path = dir.file("small/full.dat");
  ASSERT_EQ(CreateFile(path, kSpec), 0);
  BtrFile f(kBig);
  ASSERT_EQ(f.Open(path), 0);
  int stored = 0, st = 0;
  while ((st = f.Insert(Numbered(stored))) == 0) ++stored;
  EXPECT_EQ(st, B_DISK_FULL);
  EXPECT_GT(stored, 10);
  // Inside a transaction the writes may fit in memory until End, which
  // keeps all of them (0) or none (18).
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  int added = 0;
  for (st = 0; added < 20 && st == 0;) {
    if ((st = f.Insert(Numbered(stored + 1 + added))) == 0) ++added;
  }
  EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
  const int end = Tx(B_END_TRAN);
  EXPECT_TRUE(end == 0 || end == B_DISK_FULL) << end;
  if (end == 0) stored += added;
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(BtrCheckFile(path.c_str(), nullptr, nullptr), 0);

  // The same file through a read-only view: reads go on, writes give 46.
  MountedDir ro(dir.file("ro"), "", dir.file("small"));
  if (!ro.ok) GTEST_SKIP() << "cannot bind-mount read-only here";
  ASSERT_EQ(f.Open(dir.file("ro/full.dat")), 0);
  EXPECT_EQ(f.Walk(0).size(), static_cast<size_t>(stored));
  EXPECT_EQ(f.Insert(Numbered(-1)), B_ACCESS_DENIED);
  EXPECT_EQ(f.Update(Numbered(0)), B_ACCESS_DENIED);
  EXPECT_EQ(f.Delete(), B_ACCESS_DENIED);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(f.Get(B_GET_FIRST, 0), 0) << "a transaction may read it";
  EXPECT_EQ(f.Insert(Numbered(-2)), B_ACCESS_DENIED);
  EXPECT_EQ(Tx(B_END_TRAN), 0);
  EXPECT_EQ(CreateFile(dir.file("ro/new.dat"), kSpec), B_ACCESS_DENIED);
}

}  // namespace
}  // namespace recman_test
