// The message-box hook hands back what it replaced, so that a test's hook can
// put the previous one back.
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

}  // namespace
