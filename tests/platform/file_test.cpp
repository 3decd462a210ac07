// The log writer's exclusive open between processes. Within one process the
// I/O-error log's test (core) holds the log while a line would re-create it.
#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace {

constexpr UINT kAppend = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite |
                         CFile::shareExclusive;

// Another process: holds the log at args[0], when given, until told to go.
// Without it, a process the application starts for something else.
RECLINK_CHILD_ROLE(HoldLog) {
  CFile file;
  if (!args.empty() && !file.Open(args[0].c_str(), kAppend)) return 1;
  reclink::test::SendToParent("started");
  reclink::test::ReceiveFromParent();
  return 0;
}

TEST(File, AnotherProcessHoldingTheLogKeepsWritersOutUntilItEnds) {
  reclink::test::TempDir dir;
  const std::string path = dir.file("io_error.txt");
  for (bool crash : {false, true}) {
    reclink::test::ChildProcess holder("HoldLog", {path});
    ASSERT_EQ(holder.Receive(), "started");
    CFile file;
    EXPECT_FALSE(file.Open(path.c_str(), kAppend)) << "held by another process";
    EXPECT_FALSE(file.IsOpen()) << "a refused open leaves nothing to close";
    if (crash) {
      holder.Kill();
      EXPECT_EQ(holder.Wait(), reclink::test::ChildProcess::kKilled);
    } else {
      holder.Send("go");
      EXPECT_EQ(holder.Wait(), 0);
    }
    EXPECT_TRUE(file.Open(path.c_str(), kAppend))
        << (crash ? "a killed holder releases the log" : "a closed log opens again");
  }
}

TEST(File, AProcessStartedWhileTheLogIsOpenDoesNotKeepItHeld) {
  // The log is open only while a line is written; a program started by
  // another thread in that moment must not take the open log along with it.
  reclink::test::TempDir dir;
  const std::string path = dir.file("io_error.txt");
  CFile file;
  ASSERT_TRUE(file.Open(path.c_str(), kAppend));
  reclink::test::ChildProcess bystander("HoldLog");
  ASSERT_EQ(bystander.Receive(), "started");
  file.Close();
  EXPECT_TRUE(file.Open(path.c_str(), kAppend)) << "the log is free once its writer closed it";
  file.Close();
  bystander.Send("go");
  EXPECT_EQ(bystander.Wait(), 0);
}

}  // namespace
