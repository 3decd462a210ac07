// The reclink executable itself: exit statuses as a shell sees them, and
// input from a pipe.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "command_test_support.h"

namespace reclink::cli::test {
namespace {

int Shell(const std::string& command) {
  int raw = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(Executable, ExitStatusesReachTheShellAndLoadReadsAPipe) {
  TempDir tmp;
  const std::string reclink = RECLINK_EXECUTABLE;
  EXPECT_EQ(Shell(reclink + " --help"), 0);
  EXPECT_EQ(Shell(reclink), 2);
  EXPECT_EQ(Shell(reclink + " stat '" + tmp.file("NONE.BTR") + "'"), 1);

  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  const std::string file = tmp.file("CONDITION.BTR");
  std::string input;
  for (char c : {'a', 'b', 'c'}) {
    input += "64," + std::string(1, c) + std::string(63, '\0') + "\r\n";
  }
  Spit(tmp.file("in.seq"), input + "\x1a");
  const std::string pipe = "cat '" + tmp.file("in.seq") + "' | " + reclink + " load /dev/stdin";
  EXPECT_EQ(Shell(pipe + " '" + file + "'"), 0);
  EXPECT_EQ(ReadAll(file).size(), 3u);
}

}  // namespace
}  // namespace reclink::cli::test
