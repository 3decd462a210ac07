// The message-box hook and the record-manager entry hook.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "support/test_support.h"

namespace {

TEST(Hooks, MessageBoxesReachTheHook) {
  std::vector<reclink::MessageBoxCall> outer;
  reclink::MessageBoxHook original =
      reclink::SetMessageBoxHook([&](const reclink::MessageBoxCall& c) { outer.push_back(c); });
  EXPECT_FALSE(original) << "no hook is installed at start";
  {
    reclink::test::MessageBoxRecorder recorder;  // swaps in its own hook
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(AfxMessageBox("afx", MB_ICONHAND), IDOK);
    ASSERT_EQ(recorder.count(), 2u);
    EXPECT_EQ(recorder.calls()[0].caption, "caption");
    EXPECT_EQ(recorder.calls()[0].text, "text");
    EXPECT_EQ(recorder.calls()[0].style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(recorder.calls()[1].caption, "platform_tests") << "the executable's stem";
    EXPECT_EQ(recorder.calls()[1].style, MB_ICONHAND);
  }
  MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
  ASSERT_EQ(outer.size(), 1u) << "the previous hook is back";
  EXPECT_EQ(outer[0].text, "");
  reclink::SetMessageBoxHook(original);
}

int g_seen = 0;
int CountingEntry(uint16_t op, void*, void*, uint32_t*, void*, uint8_t, int8_t keyNum) {
  ++g_seen;
  return op * 1000 + keyNum;
}

TEST(Hooks, EntryHookRoutesRecordManagerCalls) {
  const reclink::BtrieveEntry manager = reclink::SetBtrieveEntry(&CountingEntry);
  EXPECT_EQ(reclink::platform::CallBtrieve(B_GET_EQUAL, nullptr, nullptr, nullptr, nullptr, 0, 3),
            B_GET_EQUAL * 1000 + 3);
  EXPECT_EQ(g_seen, 1);
  EXPECT_EQ(reclink::SetBtrieveEntry(nullptr), &CountingEntry);
  EXPECT_EQ(reclink::SetBtrieveEntry(nullptr), manager) << "nullptr means the record manager";
  char block[B_POSITION_BLOCK_SIZE] = {};
  uint32_t length = 0;
  EXPECT_EQ(manager(B_GET_FIRST, block, nullptr, &length, nullptr, 0, 0),
            BTRCALL(B_GET_FIRST, block, nullptr, &length, nullptr, 0, 0))
      << "the record manager's entry is BTRCALL";

  // Swapping from several threads never leaves a null entry behind.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) {
        EXPECT_NE(reclink::SetBtrieveEntry(i % 2 ? nullptr : &CountingEntry), nullptr);
      }
    });
  }
  for (auto& t : threads) t.join();
  reclink::SetBtrieveEntry(nullptr);
}

}  // namespace
