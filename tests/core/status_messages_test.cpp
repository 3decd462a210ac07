// The status-message table as the library holds it: code page 932 rows,
// found by their codes, and the fallback text for any other status.

#include <gtest/gtest.h>

#include <string>

#include "core/status_messages.h"
#include "support/system_text.h"

namespace reclink::test {
namespace {

// Each row is found by its code (the lookup needs ascending order), begins
// with that code and reads as code page 932.
TEST(StatusMessages, EveryRowIsFoundByItsCodeAndReadsAsCodePage932) {
  for (const StatusMessage& row : StatusMessageTable()) {
    const std::string text = row.text;
    EXPECT_EQ(text.rfind(std::to_string(row.code) + ":", 0), 0u) << row.code;
    EXPECT_TRUE(Cp932ToUtf8(text).has_value()) << row.code;
    EXPECT_EQ(std::string(FormatStatusMessage(row.code)), text);
  }
}

// The build's conversion: a line break, and a character whose second byte
// is a backslash (能 is 0x94 0x5C).
TEST(StatusMessages, ConversionKeepsLineBreaksAndBackslashTrailBytes) {
  EXPECT_EQ(std::string(FormatStatusMessage(2)),
            Utf8ToCp932("2:I/Oエラーが発生しました。\nファイルが破損している可能性があります。"));
  EXPECT_EQ(std::string(FormatStatusMessage(19)), Utf8ToCp932("19:回復不能なエラーが発生しました。"));
  const std::string prefix = "\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68:";  // エラーコード:
  for (int status : {0, -1, 70, 9000, -2147483647 - 1}) {
    EXPECT_EQ(std::string(FormatStatusMessage(status)), prefix + std::to_string(status));
  }
}

}  // namespace
}  // namespace reclink::test
