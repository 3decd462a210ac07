// The child process helper on Linux: posix_spawn of the program, with one
// socket as the child's standard input and output.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/child_process.h"
#include "support/system_text.h"

extern char** environ;

namespace reclink::test {

std::string ProgramPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

struct ChildProcess::System {
  pid_t pid = -1;   // the child
  int channel = -1;  // this end of the socket pair
};

ChildProcess::ChildProcess(const Program& program) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    ADD_FAILURE() << "child process: socketpair failed: " << LastErrorText();
    return;
  }
  std::vector<std::string> argv = {program.path};
  argv.insert(argv.end(), program.args.begin(), program.args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.path.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pair[1]);
  if (rc != 0) {
    close(pair[0]);
    ADD_FAILURE() << "child process: cannot start " << program.path << ": " << std::strerror(rc);
    return;
  }
  system_ = std::make_unique<System>(System{pid, pair[0]});
}

ChildProcess::~ChildProcess() {
  if (system_ == nullptr) return;
  if (!exitCode_) Kill();
  close(system_->channel);
}

bool ChildProcess::Send(const std::string& line) {
  if (system_ == nullptr) return false;
  const std::string bytes = line + "\n";
  // MSG_NOSIGNAL: a child that has gone makes this false, not a SIGPIPE.
  return send(system_->channel, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

bool ChildProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd p{system_->channel, POLLIN, 0};
  if (poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) != 1) return false;
  char buffer[512];
  const ssize_t n = recv(system_->channel, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(n));
  return true;
}

int ChildProcess::Wait() {
  if (system_ == nullptr) return kKilled;
  if (!exitCode_) {
    int status = 0;
    while (waitpid(system_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = WIFEXITED(status)                ? WEXITSTATUS(status)
                : WTERMSIG(status) == SIGKILL ? kKilled
                                              : 128 + WTERMSIG(status);
  }
  return *exitCode_;
}

void ChildProcess::Kill() {
  if (system_ == nullptr || exitCode_) return;
  kill(system_->pid, SIGKILL);
  Wait();
}

}  // namespace reclink::test
