// Code page 932 stepping, byte strings and path splitting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

  // The library asks lstrcmpA only whether two strings are equal.
  EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
  EXPECT_NE(lstrcmpA("ABC", "abc"), 0);
  EXPECT_NE(lstrcmpA("\x95\x5C", "\\"), 0) << "a character whose second byte is a backslash";
  char buffer[16];
  lstrcatA(lstrcpyA(buffer, "ab"), "\x95\x5C");
  EXPECT_STREQ(buffer, "ab\x95\x5C");
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrcpyA(buffer, nullptr), nullptr);
}

TEST(Path, SplitAcceptsBothSeparatorsAndADrive) {
  struct Case {
    const char *path, *drive, *dir, *fname, *ext;
  } cases[] = {
      {"D:\\DATA\\PATIENT1.BTR", "D:", "\\DATA\\", "PATIENT1", ".BTR"},
      {"/srv/db.d/mixed\\NAME.tar.BTR", "", "/srv/db.d/mixed\\", "NAME.tar", ".BTR"},
      {"PATIENT1", "", "", "PATIENT1", ""},
      {"C:", "C:", "", "", ""},
      {"C:name", "C:", "", "name", ""},
  };
  for (const Case& c : cases) {
    char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(c.path, drive, dir, fname, ext);
    EXPECT_STREQ(drive, c.drive) << c.path;
    EXPECT_STREQ(dir, c.dir) << c.path;
    EXPECT_STREQ(fname, c.fname) << c.path;
    EXPECT_STREQ(ext, c.ext) << c.path;
  }
  char fname[_MAX_FNAME];
  _splitpath("C:\\DATA\\PATIENT1.BTR", nullptr, nullptr, fname, nullptr);
  EXPECT_STREQ(fname, "PATIENT1") << "null parts are skipped";
}

}  // namespace
