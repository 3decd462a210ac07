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

// Another process: holds the log at args[0] until told to go.
RECLINK_CHILD_ROLE(HoldLog) {
  CFile file;
  if (!file.Open(args.at(0).c_str(), kAppend)) return 1;
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

}  // namespace
