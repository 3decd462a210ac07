// The reclink executable itself: exit statuses as a shell sees them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "command_test_support.h"

namespace reclink::cli::test {
namespace {

int Shell(const std::string& args) {
  std::string command = std::string(RECLINK_EXECUTABLE) + " " + args + " >/dev/null 2>&1";
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(Executable, ExitStatusesReachTheShell) {
  TempDir tmp;
  EXPECT_EQ(Shell("--help"), 0);
  EXPECT_EQ(Shell(""), 2);
  EXPECT_EQ(Shell("stat"), 2);
  EXPECT_EQ(Shell("stat '" + tmp.file("NONE.BTR") + "'"), 1);
  EXPECT_EQ(Shell("demo '" + tmp.path() + "'"), 0);
  EXPECT_EQ(Shell("check '" + tmp.path() + "'"), 0);
  EXPECT_EQ(Shell("demo '" + tmp.path() + "'"), 1);  // no longer empty
}

}  // namespace
}  // namespace reclink::cli::test
