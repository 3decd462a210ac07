// Code page 932 stepping and the byte-string routines.
#include <gtest/gtest.h>

#include "platform/winapi.h"

namespace {

TEST(CharNext, StepsOverDoubleByteCharacters) {
  // "表" is 0x95 0x5C in code page 932: its second byte is a backslash.
  const char text[] = "a\x95\x5C\\\xE0\x40\xA6";
  const char* p = text;
  p = CharNextA(p);
  EXPECT_EQ(p, text + 1);
  p = CharNextA(p);
  EXPECT_EQ(p, text + 3) << "0x95 is a lead byte; 0x5C belongs to it";
  EXPECT_EQ(*p, '\\');
  p = CharNextA(p);
  EXPECT_EQ(p, text + 4);
  p = CharNextA(p);
  EXPECT_EQ(p, text + 6) << "0xE0 is a lead byte";
  p = CharNextA(p);
  EXPECT_EQ(p, text + 7) << "half-width katakana 0xA6 is one byte";
  EXPECT_EQ(CharNextA(p), p) << "the terminator is never passed";

  const char broken[] = "\x81";
  EXPECT_EQ(CharNextA(broken), broken + 1) << "a lead byte before the zero stops at the zero";
  for (int lead : {0x80, 0xA0, 0xDF, 0xFD}) {
    const char single[] = {static_cast<char>(lead), 'x', '\0'};
    EXPECT_EQ(CharNextA(single), single + 1) << lead;
  }
}

TEST(ByteStrings, CompareInByteOrderAndCopy) {
  EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
  EXPECT_LT(lstrcmpA("ABC", "abc"), 0);
  EXPECT_GT(lstrcmpA("abcd", "abc"), 0);
  EXPECT_GT(lstrcmpA("\x95\x5C", "z"), 0) << "bytes above 0x7F sort after ASCII";
  EXPECT_EQ(lstrcmpA("\\", "\x95\x5C"), -1);

  char buffer[16] = "xxxxxxxxxxxxxxx";
  EXPECT_EQ(lstrcpyA(buffer, "ab"), buffer);
  EXPECT_EQ(lstrcatA(buffer, "\x95\x5C"), buffer);
  EXPECT_STREQ(buffer, "ab\x95\x5C");
  EXPECT_EQ(lstrlenA(buffer), 4);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrcpyA(buffer, nullptr), nullptr);
}

}  // namespace
