// The reclink executable itself: exit statuses as the program that started
// it sees them, and input from a pipe.
#include <gtest/gtest.h>

#include "command_test_support.h"
#include "support/child_process.h"
#include "support/os_files.h"

namespace reclink::cli::test {
namespace {

using reclink::test::ChildProcess;
using reclink::test::Program;

// Runs the executable with args, reading what it prints; its exit status.
int ExitStatusOf(const std::vector<std::string>& args) {
  ChildProcess run(Program{RECLINK_EXECUTABLE, args});
  while (run.Receive()) {
  }
  return run.Wait();
}

TEST(Executable, ExitStatusesReachTheCallerAndLoadReadsAPipe) {
  TempDir tmp;
  EXPECT_EQ(ExitStatusOf({"--help"}), 0);
  EXPECT_EQ(ExitStatusOf({}), 2);
  EXPECT_EQ(ExitStatusOf({"stat", tmp.file("NONE.BTR")}), 1);

  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  const std::string file = tmp.file("CONDITION.BTR");
  std::string input;
  for (char c : {'a', 'b', 'c'}) {
    input += "64," + std::string(1, c) + std::string(63, '\0') + "\r\n";
  }
  reclink::test::Fifo pipe(tmp.path());
  ChildProcess load(Program{RECLINK_EXECUTABLE, {"load", pipe.path(), file}});
  EXPECT_TRUE(pipe.Feed(input + "\x1a"));
  EXPECT_EQ(load.Wait(), 0);
  EXPECT_EQ(ReadAll(file).size(), 3u);
}

}  // namespace
}  // namespace reclink::cli::test
