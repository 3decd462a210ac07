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
  for (int i = 0; i < 300; ++i) ASSERT_EQ(bytes[i], 0) << i;
  std::memset(bytes, 0xAB, 300);
  EXPECT_FALSE(GlobalUnlock(handle)) << "no lock left";
  EXPECT_EQ(GlobalFree(handle), nullptr);
}

}  // namespace
