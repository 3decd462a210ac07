// The trailing delimiter of the directory text, walked by characters.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rec_link_peer.h"

namespace {

TEST(LastDelimAdd, AppendsTheDelimiterTheTextUsesUnlessItEndsInIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\DATA", "C:\\DATA\\"},
      {"C:\\DATA\\", "C:\\DATA\\"},
      {"C:/DATA", "C:/DATA/"},
      {"C:/A\\B", "C:/A\\B/"},  // a slash anywhere after the first character decides
      {"", "\\"},
      {"/", "/\\"},            // the first character is never examined
      {"/data", "/data\\"},
      {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},  // 0x95 0x5C is one character, not a backslash
      {"C:\\\x95/X", "C:\\\x95/X\\"},      // nor is 0x95 '/' a slash
      {"C:\\\x95\x5C/X", "C:\\\x95\x5C/X/"},
      {"C:\\\xB1\\", "C:\\\xB1\\"},  // single-byte kana lead nothing
  };
  CRecLink link;
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    char buffer[100] = {};
    std::memcpy(buffer, text.data(), text.size());
    EXPECT_EQ(CRecLinkPeer::LastDelimAdd(link, buffer), static_cast<int>(want.size()));
    EXPECT_EQ(std::string(buffer), want);
  }
}

}  // namespace
