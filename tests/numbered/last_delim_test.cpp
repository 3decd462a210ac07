// The trailing delimiter of the directory text, walked by characters.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rec_link_peer.h"

namespace {

std::string Add(const std::string& text, int* length = nullptr) {
  char buffer[100] = {};
  std::memcpy(buffer, text.data(), text.size());
  CRecLink link;
  int n = CRecLinkPeer::LastDelimAdd(link, buffer);
  if (length != nullptr) *length = n;
  return buffer;
}

TEST(LastDelimAdd, AppendsTheDelimiterTheTextUses) {
  int length = 0;
  EXPECT_EQ(Add("C:\\DATA", &length), "C:\\DATA\\");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(Add("C:\\DATA\\", &length), "C:\\DATA\\");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(Add("C:/DATA"), "C:/DATA/");
  EXPECT_EQ(Add("C:/DATA/"), "C:/DATA/");
  EXPECT_EQ(Add("C:/A\\B"), "C:/A\\B/");  // one slash anywhere makes it the delimiter
  EXPECT_EQ(Add("", &length), "\\");
  EXPECT_EQ(length, 1);
}

TEST(LastDelimAdd, TheFirstCharacterIsNeverExamined) {
  EXPECT_EQ(Add("/"), "/\\");
  EXPECT_EQ(Add("/data"), "/data\\");
  EXPECT_EQ(Add("\\"), "\\");
}

TEST(LastDelimAdd, WalksDoubleByteCharacters) {
  // 0x95 0x5C is one character whose second byte looks like a backslash.
  EXPECT_EQ(Add("C:\\\x95\x5C"), "C:\\\x95\x5C\\");
  // Its second byte as '/' does not switch the delimiter either.
  EXPECT_EQ(Add("C:\\\x95/X"), "C:\\\x95/X\\");
  // A real slash after a double-byte character does.
  EXPECT_EQ(Add("C:\\\x95\x5C/X"), "C:\\\x95\x5C/X/");
  // Single-byte katakana (0xA1-0xDF) are not lead bytes.
  EXPECT_EQ(Add("C:\\\xB1\\"), "C:\\\xB1\\");
}

}  // namespace
