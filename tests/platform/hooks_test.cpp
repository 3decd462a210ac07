// The message-box hook and the record-manager entry hook: each setter hands
// back what it replaced, so that a test's hook can put the previous one back.
#include <gtest/gtest.h>

#include <vector>

#include "platform/winapi.h"
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

int AnyEntry(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t) { return 0; }

// nullptr brings back the record manager itself. That calls go through the
// hook, and that each setter hands back the one it replaced, every suite that
// scripts some calls and passes the rest on shows.
TEST(Hooks, NullptrRestoresTheRecordManager) {
  const reclink::BtrieveEntry manager = reclink::SetBtrieveEntry(&AnyEntry);
  reclink::SetBtrieveEntry(nullptr);
  EXPECT_EQ(reclink::SetBtrieveEntry(nullptr), manager);
}

}  // namespace
