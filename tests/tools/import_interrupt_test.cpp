// import stopped by a signal half way: no database appears, and the next
// import clears up what the stopped one left. A saved file that is a FIFO
// keeps the stopped run loading until the signal comes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "command_test_support.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {
namespace {

// Reads fd until its text holds what, for at most a minute; what was read.
std::string ReadUntil(int fd, const std::string& what) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (text.find(what) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

TEST(ImportCommand, StoppedBySignalLeavesNoDatabaseAndTheNextRunClearsUp) {
  TempDir tmp;
  const std::string db = tmp.file("old"), folder = tmp.file("saved"), target = tmp.file("new");
  SaveDemoDatabase(db, folder);
  const std::string fifoPath = folder + "/PATIENT1.SEQ";
  const std::string patients = Slurp(fifoPath);
  fs::remove(fifoPath);
  ASSERT_EQ(::mkfifo(fifoPath.c_str(), 0600), 0);
  // Held open for writing here, so the loading run never sees the end.
  const int fifo = ::open(fifoPath.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fifo, 0);
  ASSERT_EQ(::write(fifo, patients.data(), 10), 10);

  // The shell says its process id, which the import then takes over; the
  // import's messages come through the pipe.
  const std::string command = "echo $$; exec '" RECLINK_EXECUTABLE "' import '" + folder + "' '" + target +
                              "' 2>&1 >/dev/null";
  FILE* run = ::popen(command.c_str(), "r");
  ASSERT_NE(run, nullptr);
  const std::string said = ReadUntil(::fileno(run), "loading " + fifoPath);
  EXPECT_THAT(said, HasSubstr("loading " + fifoPath));
  ::kill(std::stoi(said), SIGTERM);
  const int status = ::pclose(run);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << said;
  ::close(fifo);

  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(LeftNoPartial(tmp.path()));  // the half-built database, beside where it was to go
  fs::remove(fifoPath);
  Spit(fifoPath, patients);
  Outcome o = Reclink({"import", folder, target});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("left by an interrupted run"));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));
  EXPECT_EQ(ReadAll(target + "/PATIENT1.BTR"), ReadAll(db + "/PATIENT1.BTR"));
}

}  // namespace
}  // namespace reclink::cli::test
