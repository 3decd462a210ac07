// Command lines: operands, options with values, flags, and bad usage.
#include <gtest/gtest.h>

#include "cli/args.h"

namespace reclink::cli {
namespace {

TEST(Args, SplitsOperandsOptionsAndFlags) {
  ArgSpec spec{1, 2, {"--key", "--format"}, {"--force"}};
  Args a;
  std::string error;
  ASSERT_TRUE(ParseArgs({"f.btr", "--key", "2", "--format=json", "--force", "out"}, spec, &a,
                        &error))
      << error;
  EXPECT_EQ(a.operands, (std::vector<std::string>{"f.btr", "out"}));
  EXPECT_EQ(a.Value("--key"), "2");
  EXPECT_EQ(a.Value("--format"), "json");
  EXPECT_TRUE(a.Has("--force"));
  EXPECT_EQ(a.Value("--name", "none"), "none");

  ASSERT_TRUE(ParseArgs({"--", "--force"}, spec, &a, &error));
  EXPECT_EQ(a.operands, std::vector<std::string>{"--force"});
  ASSERT_TRUE(ParseArgs({"--bogus", "--help"}, spec, &a, &error));
  EXPECT_TRUE(a.help);
}

TEST(Args, RejectsWhatTheCommandDoesNotTake) {
  ArgSpec spec{1, 1, {"--key"}, {"--force"}};
  Args a;
  std::string error;
  EXPECT_FALSE(ParseArgs({}, spec, &a, &error));
  EXPECT_FALSE(ParseArgs({"a", "b"}, spec, &a, &error));
  EXPECT_NE(error.find("'b'"), std::string::npos);
  EXPECT_FALSE(ParseArgs({"a", "--key"}, spec, &a, &error));
  EXPECT_FALSE(ParseArgs({"a", "--force=1"}, spec, &a, &error));
  EXPECT_FALSE(ParseArgs({"a", "--colour"}, spec, &a, &error));

  long n = 0;
  EXPECT_TRUE(ParseCount("118", 118, &n));
  EXPECT_EQ(n, 118);
  EXPECT_FALSE(ParseCount("119", 118, &n));
  EXPECT_FALSE(ParseCount("-1", 118, &n));
  EXPECT_FALSE(ParseCount("", 118, &n));
}

}  // namespace
}  // namespace reclink::cli
