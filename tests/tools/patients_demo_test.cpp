// The demonstration's database moved onto the server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "command_test_support.h"

namespace reclink::cli::test {
namespace {

// The demonstration's database moved onto the server is every
// workstation's: a copy of its directory, less the old records the move set
// aside, lists the same patients through the record classes (on Windows
// through their short paths).
TEST(ToServerCommand, ACopyOfTheMovedDirectoryIsASecondWorkstations) {
  const char* server = std::getenv("RECLINK_TEST_SERVER");
  if (server == nullptr || *server == '\0') GTEST_SKIP() << "no test server: scripts/test starts one";
  TempDir tmp;
  const std::string db = tmp.file("db"), second = tmp.file("second");
  ASSERT_EQ(Reclink({"demo", db}).status, 0);
  const Outcome before = Reclink({"patients", db});
  ASSERT_EQ(before.status, 0) << before.err;
  const std::string database = "moved-demo-" + std::to_string(std::random_device{}());
  const Outcome moved = Reclink({"to-server", db, server, database});
  ASSERT_EQ(moved.status, 0) << moved.err;
  std::filesystem::create_directory(second);
  for (const auto& entry : std::filesystem::directory_iterator(db)) {
    if (entry.path().filename() != "before-server") std::filesystem::copy(entry.path(), second / entry.path().filename());
  }
  const Outcome after = Reclink({"patients", second});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out, before.out);
}

}  // namespace
}  // namespace reclink::cli::test
