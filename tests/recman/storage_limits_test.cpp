// Storage that refuses writes: a full file system (18, file left sound) and
// a read-only mount (46 on every write, reads go on). Needs the right to
// mount; skipped where that is missing.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>

#include "recman_fixture.h"
#include "reclink/recman_check.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 3000;

class MountedDir {
 public:
  // A small tmpfs (size set) or a read-only view of source (size empty).
  MountedDir(const std::string& at, const std::string& size, const std::string& source = {})
      : at_(at) {
    std::filesystem::create_directories(at);
    if (source.empty()) {
      ok_ = mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    } else {
      ok_ = mount(source.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            mount(nullptr, at.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
  }
  ~MountedDir() {
    umount2(at_.c_str(), MNT_DETACH);
    std::filesystem::remove(at_);
  }
  bool ok() const { return ok_; }

 private:
  std::string at_;
  bool ok_ = false;
};

std::vector<uint8_t> Spec() { return MakeSpec(kLen, 1, {{1, 12, 0}}); }

std::string Numbered(int i) { return MakeRecord(kLen, {{0, "r" + std::to_string(i)}, {100, std::string(2000, 'p')}}); }

TEST(StorageLimitsTest, FullFileSystemGivesDiskFullAndKeepsTheFileSound) {
  reclink::test::TempDir dir;
  MountedDir full(dir.file("small"), "400k");
  if (!full.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string path = dir.file("small/full.dat");
  ASSERT_EQ(CreateFile(path, Spec()), 0);
  BtrFile f;
  f.recordLength = kLen;
  ASSERT_EQ(f.Open(path), 0);
  int stored = 0;
  int st = 0;
  while ((st = f.Insert(Numbered(stored))) == 0) ++stored;
  EXPECT_EQ(st, B_DISK_FULL);
  EXPECT_GT(stored, 10);
  // Inside a transaction the writes may fit in memory until End. End keeps
  // all of them (0) or none (18).
  ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  int inTransaction = 0;
  for (st = 0; inTransaction < 20 && st == 0;) {
    st = f.Insert(Numbered(stored + 1 + inTransaction));
    if (st == 0) ++inTransaction;
  }
  EXPECT_TRUE(st == 0 || st == B_DISK_FULL) << st;
  const int end = BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0);
  EXPECT_TRUE(end == 0 || end == B_DISK_FULL) << end;
  if (end == 0) stored += inTransaction;
  ASSERT_EQ(f.Close(), 0);

  ASSERT_EQ(f.Open(path), 0);
  int count = 0;
  for (int s = f.Get(B_GET_FIRST, 0); s == 0; s = f.Get(B_GET_NEXT, 0)) ++count;
  EXPECT_EQ(count, stored);
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(BtrCheckFile(path.c_str(), nullptr, nullptr), 0);
}

TEST(StorageLimitsTest, ReadOnlyMountRefusesWritesButReads) {
  reclink::test::TempDir dir;
  std::filesystem::create_directories(dir.file("src"));
  const std::string original = dir.file("src/ro.dat");
  ASSERT_EQ(CreateFile(original, Spec()), 0);
  {
    BtrFile w;
    ASSERT_EQ(w.Open(original), 0);
    ASSERT_EQ(w.Insert(Numbered(1)), 0);
    ASSERT_EQ(w.Insert(Numbered(2)), 0);
  }
  MountedDir ro(dir.file("ro"), "", dir.file("src"));
  if (!ro.ok()) GTEST_SKIP() << "cannot bind-mount read-only here";
  const std::string path = dir.file("ro/ro.dat");
  BtrFile f;
  f.recordLength = kLen;
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(f.Get(B_GET_FIRST, 0), 0);
  EXPECT_EQ(f.Field(0), "r1");
  EXPECT_EQ(f.Insert(Numbered(3)), B_ACCESS_DENIED);
  EXPECT_EQ(f.Update(Numbered(1)), B_ACCESS_DENIED);
  EXPECT_EQ(f.Delete(), B_ACCESS_DENIED);
  // A transaction may read it.
  ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(f.Get(B_GET_LAST, 0), 0);
  EXPECT_EQ(f.Insert(Numbered(4)), B_ACCESS_DENIED);
  EXPECT_EQ(BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(CreateFile(dir.file("ro/new.dat"), Spec()), B_ACCESS_DENIED);
  EXPECT_EQ(f.Close(), 0);
}

}  // namespace
}  // namespace recman_test
