// Several threads, each with its own position blocks on shared files, at
// the same time: every write lands once and every read sees whole records.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 64;

TEST(ThreadsTest, ConcurrentBlocksOnSharedFiles) {
  reclink::test::TempDir dir;
  const std::string paths[2] = {dir.file("t0.dat"), dir.file("t1.dat")};
  for (const std::string& p : paths) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 16, 0}})), 0);
  constexpr int kThreads = 4;
  constexpr int kEach = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      BtrFile f;
      f.recordLength = kLen;
      if (f.Open(paths[t % 2], B_MODE_ACCELERATED) != 0) ++failures;
      for (int i = 0; i < kEach; ++i) {
        const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        // The record repeats its name, so a torn read would show.
        if (f.Insert(MakeRecord(kLen, {{0, name}, {32, name}})) != 0) ++failures;
        if (f.Get(B_GET_EQUAL, 0, name) != 0 || f.Field(32) != name) ++failures;
        if (i % 10 == 0) {
          for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
            if (f.Field(0) != f.Field(32)) ++failures;
          }
        }
      }
      if (f.Close() != 0) ++failures;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  for (const std::string& p : paths) {
    BtrFile f;
    f.recordLength = kLen;
    ASSERT_EQ(f.Open(p), 0);
    int count = 0;
    for (int st = f.Step(B_STEP_FIRST); st == 0; st = f.Step(B_STEP_NEXT)) ++count;
    EXPECT_EQ(count, kThreads / 2 * kEach);
    EXPECT_EQ(f.Close(), 0);
  }
}

}  // namespace
}  // namespace recman_test
