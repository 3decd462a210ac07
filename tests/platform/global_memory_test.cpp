// Global memory blocks as the numbered interface's work buffers use them:
// moveable, zero-filled, locked once, unlocked and freed. Injected failures
// are proved where the numbered interface meets them (gate_test.cpp).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/winapi.h"

namespace {

TEST(GlobalMemory, AMoveableBlockIsZeroFilledAndFreedOnceUnlocked) {
  HGLOBAL handle = GlobalAlloc(GHND, 300);
  ASSERT_NE(handle, nullptr);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(handle));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(bytes[i], 0) << i;
  std::memset(bytes, 0xAB, 300);
  GlobalUnlock(handle);
  EXPECT_EQ(GlobalFree(handle), nullptr);
  EXPECT_EQ(GlobalLock(handle), nullptr) << "a freed handle is gone";
}

}  // namespace
