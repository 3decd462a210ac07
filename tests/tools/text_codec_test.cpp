// Code page 932 text to and from UTF-8.
#include <gtest/gtest.h>

#include "cli/text_codec.h"

namespace reclink::cli {
namespace {

TEST(TextCodec, ConvertsJapaneseBothWays) {
  const std::string utf8 = "\xe5\xb1\xb1\xe7\x94\xb0 \xef\xbe\x80\xef\xbe\x9b\xef\xbd\xb3";  // 山田 ﾀﾛｳ
  std::string cp932;
  ASSERT_TRUE(Utf8ToCp932(utf8, &cp932));
  EXPECT_EQ(cp932, "\x8e\x52\x93\x63 \xc0\xdb\xb3");
  EXPECT_EQ(Cp932ToUtf8(cp932), utf8);
  // A second byte of 0x5C belongs to the character, not a backslash.
  EXPECT_EQ(Cp932ToUtf8("\x95\x5c"), "\xe8\xa1\xa8");  // 表
}

TEST(TextCodec, KeepsWhatItCannotConvertVisible) {
  EXPECT_EQ(Cp932ToUtf8("a\xa0z"), "a\\xa0z");
  EXPECT_EQ(Cp932ToUtf8("ab\x81"), "ab\\x81");  // a lead byte without its second byte
  std::string out = "unchanged";
  EXPECT_FALSE(Utf8ToCp932("\xf0\x9f\x98\x80", &out));  // no emoji in code page 932
  EXPECT_FALSE(Utf8ToCp932("\xff", &out));
  EXPECT_EQ(out, "unchanged");
}

}  // namespace
}  // namespace reclink::cli
