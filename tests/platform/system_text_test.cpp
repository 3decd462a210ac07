// Texts the system supplies: the log's date and the last error.
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <regex>
#include <string>

#include "platform/winapi.h"

namespace {

TEST(SystemText, LocalDateIsYearMonthDayWithSlashes) {
  std::time_t before = std::time(nullptr);
  std::string date(LocalDateString());
  ASSERT_TRUE(std::regex_match(date, std::regex(R"(\d{4}/\d{2}/\d{2})"))) << date;
  std::tm local{};
  localtime_r(&before, &local);
  EXPECT_EQ(std::stoi(date.substr(0, 4)), local.tm_year + 1900);
  EXPECT_EQ(std::stoi(date.substr(5, 2)), local.tm_mon + 1) << "months count from 1";
}

TEST(SystemText, LastErrorIsTheThreadsErrnoText) {
  errno = 0;
  EXPECT_STREQ(LastErrorText(), "");
  char out[8];
  EXPECT_EQ(GetShortPathNameA("/nonexistent/dir/file", out, sizeof out), 0u);
  EXPECT_STREQ(LastErrorText(), "No such file or directory");
}

}  // namespace
