// The sequential record format: what save writes and load accepts.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/sequential.h"

namespace reclink::cli {
namespace {

using Result = SequentialReader::Result;

std::string Encode(const std::vector<std::string>& records) {
  std::ostringstream out;
  SequentialWriter writer(out);
  for (const std::string& r : records) writer.Write(r);
  writer.Finish();
  return out.str();
}

// Reads text to its end; returns the records, or the error text as the last
// element prefixed with "!".
std::vector<std::string> Decode(const std::string& text, size_t expected = 0) {
  std::istringstream in(text);
  SequentialReader reader(in, expected);
  std::vector<std::string> out;
  std::string record;
  for (;;) {
    Result r = reader.Next(&record);
    if (r == Result::kEnd) return out;
    if (r == Result::kError) {
      out.push_back("!" + reader.error());
      return out;
    }
    out.push_back(record);
  }
}

TEST(SequentialFormat, WritesLengthCommaBytesCrLfAndCtrlZ) {
  EXPECT_EQ(Encode({"abc", std::string("\0\r\n,", 4)}),
            std::string("3,abc\r\n4,\0\r\n,\r\n\x1a", 16));
  EXPECT_EQ(Encode({}), "\x1a");
}

TEST(SequentialFormat, ReadsBackWhatItWrites) {
  std::vector<std::string> records = {"x", std::string(4000, '\n'), std::string("1,\r\n\x1a", 5)};
  EXPECT_EQ(Decode(Encode(records)), records);
  EXPECT_TRUE(Decode("").empty());
  EXPECT_EQ(Decode("2,ab\r\n"), std::vector<std::string>{"ab"});  // no Ctrl-Z
  EXPECT_EQ(Decode("2,ab\r\n\x1a" "garbage"), std::vector<std::string>{"ab"});
}

TEST(SequentialFormat, NamesRecordAndOffsetOfEveryFault) {
  struct Case {
    std::string input;
    size_t expected;
    std::string error;
  };
  const Case cases[] = {
      {"2,ab\r\nx,ab\r\n", 0, "record 2, byte offset 6: bad length: expected a decimal digit"},
      {"2,ab\r\n,ab\r\n", 0, "record 2, byte offset 6: bad length: no digits before the comma"},
      {"2x,ab\r\n", 0, "record 1, byte offset 1: bad length: expected a digit or a comma"},
      {"1234567890,a", 0, "record 1, byte offset 9: bad length: too many digits"},
      {"12", 0, "record 1, byte offset 2: input ends inside the length"},
      {"2,ab\r\n5,abc", 0, "record 2, byte offset 11: truncated record: 3 of 5 bytes"},
      {"2,ab\n", 0, "record 1, byte offset 4: missing CR LF after the record"},
      {"2,ab\rX", 0, "record 1, byte offset 4: missing CR LF after the record"},
      {"2,abc", 0, "record 1, byte offset 4: missing CR LF after the record"},
      {"2,ab\r\n3,abc\r\n", 2,
       "record 2, byte offset 6: wrong record length 3, the file's records are 2 bytes"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got = Decode(c.input, c.expected);
    ASSERT_FALSE(got.empty()) << c.input;
    EXPECT_EQ(got.back(), "!" + c.error) << c.input;
  }
}

}  // namespace
}  // namespace reclink::cli
