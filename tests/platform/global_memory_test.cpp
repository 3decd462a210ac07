// Global memory blocks: zero fill (the numbered interface's blocks rely on
// it), locking and freeing. Injected failures are proved where the numbered
// interface meets them (gate_test.cpp).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/winapi.h"

namespace {

TEST(GlobalMemory, ZeroFillLockingAndFreeing) {
  HGLOBAL handle = GlobalAlloc(GHND, 300);
  ASSERT_NE(handle, nullptr);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(handle));
  ASSERT_NE(bytes, nullptr);
  EXPECT_NE(static_cast<void*>(bytes), handle) << "a moveable handle is not its memory";
  for (int i = 0; i < 300; ++i) ASSERT_EQ(bytes[i], 0) << i;
  std::memset(bytes, 0xAB, 300);
  EXPECT_EQ(GlobalLock(handle), bytes);
  EXPECT_TRUE(GlobalUnlock(handle)) << "still locked once";
  EXPECT_FALSE(GlobalUnlock(handle));
  EXPECT_EQ(GlobalFree(handle), nullptr);
  EXPECT_EQ(GlobalFree(handle), handle) << "a freed handle cannot be freed again";
  EXPECT_EQ(GlobalLock(handle), nullptr);
  int local = 0;
  EXPECT_EQ(GlobalFree(&local), &local) << "a handle never allocated is refused";

  HGLOBAL fixed = GlobalAlloc(GPTR, 0);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed) << "a fixed block is its own address";
  EXPECT_EQ(GlobalFree(fixed), nullptr);
}

}  // namespace
