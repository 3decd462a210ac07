// Storage that refuses writes: a full file system (18, file left sound) and
// a read-only mount (46 on every write, reads go on). Linux only: it needs
// mount(2) and the right to use it, and is skipped where that is missing.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>

#include "recman_fixture.h"
#include "reclink/recman_check.h"

namespace recman_test {
namespace {

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
