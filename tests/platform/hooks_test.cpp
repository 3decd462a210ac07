// The message-box hook and the record-manager entry hook: each setter hands
// back what it replaced, so that a test's hook can put the previous one back.
#include <gtest/gtest.h>

#include <vector>

#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "support/test_support.h"

namespace {

TEST(Hooks, MessageBoxHooksNestAndUnnamedBoxesGetDefaults) {
  std::vector<reclink::MessageBoxCall> outer;
  reclink::MessageBoxHook original =
      reclink::SetMessageBoxHook([&](const reclink::MessageBoxCall& c) { outer.push_back(c); });
  EXPECT_FALSE(original) << "no hook is installed at start";
  {
    reclink::test::MessageBoxRecorder recorder;  // swaps in its own hook
    MessageBoxA(nullptr, "inner", "caption", MB_OK);
    EXPECT_EQ(recorder.count(), 1u);
  }
  MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
  ASSERT_EQ(outer.size(), 1u) << "the previous hook is back";
  EXPECT_EQ(outer[0].text, "");
  EXPECT_EQ(outer[0].caption, "Error");
  reclink::SetMessageBoxHook(original);
}

int CountingEntry(uint16_t op, void*, void*, uint32_t*, void*, uint8_t, int8_t keyNum) {
  return op * 1000 + keyNum;
}

// That nullptr brings back the record manager itself, every suite that
// scripts some calls and passes the rest on shows.
TEST(Hooks, EntryHookRoutesRecordManagerCallsAndNullptrRestoresTheManager) {
  const reclink::BtrieveEntry manager = reclink::SetBtrieveEntry(&CountingEntry);
  EXPECT_EQ(reclink::platform::CallBtrieve(B_GET_EQUAL, nullptr, nullptr, nullptr, nullptr, 0, 3),
            B_GET_EQUAL * 1000 + 3);
  EXPECT_EQ(reclink::SetBtrieveEntry(nullptr), &CountingEntry);
  EXPECT_EQ(reclink::SetBtrieveEntry(nullptr), manager);
}

}  // namespace
