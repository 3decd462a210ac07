#pragma once
// A second process for the tests that need one: the test program itself,
// started again in a named child role. Works the same on Linux (posix_spawn)
// and on Windows (CreateProcess), so tests of locks between processes and of
// a killed process run on both. Depends on no layer of the library.
//
//   RECLINK_CHILD_ROLE(HoldLog) {           // in the test file: the child's side
//     ... open args[0] ...
//     reclink::test::SendToParent("held");
//     reclink::test::ReceiveFromParent();  // until the parent says so
//     return 0;                            // the child's exit code
//   }
//   reclink::test::ChildProcess child("HoldLog", {path});   // in the test
//   ASSERT_EQ(child.Receive(), "held");
//   child.Kill();                          // or child.Send("go"), child.Wait()

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace reclink::test {

// A child role: runs in the child process with the arguments the parent gave;
// its result is the child's exit code.
using ChildRole = int (*)(const std::vector<std::string>& args);

// Registers role under name (unique within the program); RECLINK_CHILD_ROLE
// calls it. Returns true.
bool RegisterChildRole(const char* name, ChildRole role);

// When the command line starts this program in a child role, runs the role and
// returns its exit code; otherwise nothing. The tests' main calls it first.
std::optional<int> RunChildRole(int argc, char** argv);

// Defines the child role name; the body sees `args` and returns the exit code.
#define RECLINK_CHILD_ROLE(name)                                                          \
  static int name##ChildRole(const std::vector<std::string>& args);                      \
  [[maybe_unused]] static const bool name##ChildRoleRegistered =                          \
      ::reclink::test::RegisterChildRole(#name, &name##ChildRole);                        \
  static int name##ChildRole([[maybe_unused]] const std::vector<std::string>& args)

// The running test program's full path.
std::string ProgramPath();

// Sets the environment variable name of this process to value, or removes it.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// In a child: the next line from the parent (without its line break), or
// nothing once the parent has closed the channel.
std::optional<std::string> ReceiveFromParent();
// In a child: one line to the parent, sent at once.
void SendToParent(const std::string& line);

// Another program to start as a child, in place of a role of this one.
struct Program {
  std::string path;               // the executable
  std::vector<std::string> args;  // its arguments
};

// The test program started again in a child role, or another program. The
// child's standard input and output are a line channel to this object; its
// standard error is the parent's. Destroying the object kills a child that is
// still running.
class ChildProcess {
 public:
  // Wait's result for a child that Kill ended.
  static constexpr int kKilled = -1;

  // Starts the child in role with args. Precondition: role is registered.
  // On failure started() is false and the test has recorded why.
  explicit ChildProcess(const std::string& role, const std::vector<std::string>& args = {});
  // Starts program; as above.
  explicit ChildProcess(const Program& program);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return system_ != nullptr; }
  // Sends one line to the child; false when the child no longer reads.
  bool Send(const std::string& line);
  // The child's next line, or nothing when it ended or said nothing in time.
  std::optional<std::string> Receive(
      std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Waits for the child to end; its exit code, or kKilled when Kill (or
  // SIGKILL) ended it; on Linux 128 plus the signal when another one did.
  int Wait();
  // Ends the child at once, as a crash would (SIGKILL, TerminateProcess), and
  // waits for it: nothing it had open survives.
  void Kill();

 private:
  struct System;  // the operating system's handles of the child

  // Appends what the child has written to pending_, waiting until deadline
  // for the first bytes; false at the deadline or when its output has ended.
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  std::unique_ptr<System> system_;  // null when the child could not be started
  std::string pending_;             // bytes received after the last line returned
  std::optional<int> exitCode_;     // set once the child has been waited for
};

}  // namespace reclink::test
