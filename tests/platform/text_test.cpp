// Code page 932 stepping. The byte-string calls are walked by the directory
// delimiter's test (numbered/gate_test.cpp).
#include <gtest/gtest.h>

#include "platform/winapi.h"

namespace {

TEST(Text, CharNextStepsThroughCodePage932) {
  // 0x95 0x5C is one character whose second byte is a backslash; 0xE0 leads
  // too; half-width katakana 0xA6 is one byte.
  const char text[] = "a\x95\x5C\\\xE0\x40\xA6";
  const int steps[] = {1, 3, 4, 6, 7, 7};  // the terminator is never passed
  const char* p = text;
  for (int want : steps) EXPECT_EQ((p = CharNextA(p)) - text, want);
  for (int lead : {0x81, 0x9F, 0xFC, 0x80, 0xA0, 0xDF, 0xFD}) {
    const char s[] = {static_cast<char>(lead), 'x', '\0'};
    bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    EXPECT_EQ(CharNextA(s) - s, isLead ? 2 : 1) << lead;
    const char cut[] = {static_cast<char>(lead), '\0'};
    EXPECT_EQ(CharNextA(cut) - cut, 1) << "a lead byte before the zero stops there";
  }
}

}  // namespace
