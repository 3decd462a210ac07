// A second process for tests: the roles and the line channel's framing, the
// same on every system; beneath them the child started by posix_spawn, with
// one socket as its standard input and output, or by CreateProcess, with two
// pipes.
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#else
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

extern char** environ;
#endif

#include "support/system_text.h"

namespace reclink::test {

namespace {

// The command-line option that names the role of a child: "--reclink-child=<role>".
constexpr char kChildRoleOption[] = "--reclink-child=";

std::map<std::string, ChildRole>& Roles() {
  static std::map<std::string, ChildRole> roles;  // filled during static initialisation
  return roles;
}

// This program in role with args.
Program InRole(const std::string& role, const std::vector<std::string>& args) {
  Program self{ProgramPath(), {kChildRoleOption + role}};
  self.args.insert(self.args.end(), args.begin(), args.end());
  return self;
}

}  // namespace

bool RegisterChildRole(const char* name, ChildRole role) {
  Roles()[name] = role;
  return true;
}

std::optional<int> RunChildRole(int argc, char** argv) {
  if (argc < 2 || std::strncmp(argv[1], kChildRoleOption, std::strlen(kChildRoleOption)) != 0) {
    return std::nullopt;
  }
  const std::string name = argv[1] + std::strlen(kChildRoleOption);
  auto role = Roles().find(name);
  if (role == Roles().end()) {
    std::cerr << "child process: no role named '" << name << "' in this program\n";
    return 2;
  }
  return role->second(std::vector<std::string>(argv + 2, argv + argc));
}

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args)
    : ChildProcess(InRole(role, args)) {}

std::optional<std::string> ReceiveFromParent() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  return line;
}

void SendToParent(const std::string& line) { std::cout << line << std::endl; }

std::optional<std::string> ChildProcess::Receive(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();  // text-mode output
      return line;
    }
    if (system_ == nullptr || !ReadSome(deadline)) return std::nullopt;
  }
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // The C runtime's copy, which getenv reads; "" removes the variable.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

#ifdef _WIN32
struct ChildProcess::System {
  HANDLE process;    // the child
  HANDLE toChild;    // the write end of its standard input
  HANDLE fromChild;  // the read end of its standard output
  ~System() {
    for (HANDLE h : {toChild, fromChild, process}) CloseHandle(h);
  }
};

namespace {

// arg quoted for the command line as the C runtime splits it again.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

std::string ProgramPath() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

ChildProcess::ChildProcess(const Program& program) {
  std::string commandLine = Quote(program.path);
  for (const std::string& a : program.args) commandLine += " " + Quote(a);

  // The child's ends are inherited; this process's ends are not.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
  if (!CreatePipe(&childIn, &toChild, &inherit, 0) ||
      !CreatePipe(&fromChild, &childOut, &inherit, 0)) {
    ADD_FAILURE() << "child process: CreatePipe failed: " << LastErrorText();
    for (HANDLE h : {childIn, toChild}) {
      if (h != nullptr) CloseHandle(h);
    }
    return;
  }
  SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn;
  startup.hStdOutput = childOut;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const BOOL ok = CreateProcessA(program.path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &info);
  const std::string why = ok ? std::string() : LastErrorText();
  CloseHandle(childIn);
  CloseHandle(childOut);
  if (!ok) {
    CloseHandle(toChild);
    CloseHandle(fromChild);
    ADD_FAILURE() << "child process: cannot start " << program.path << ": " << why;
    return;
  }
  CloseHandle(info.hThread);
  system_.reset(new System{info.hProcess, toChild, fromChild});
}

bool ChildProcess::Send(const std::string& line) {
  if (system_ == nullptr) return false;
  const std::string bytes = line + "\n";
  DWORD written = 0;
  return WriteFile(system_->toChild, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

bool ChildProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  // Anonymous pipes cannot wait with a timeout: look, and sleep a little.
  DWORD available = 0;
  while (PeekNamedPipe(system_->fromChild, nullptr, 0, nullptr, &available, nullptr) && available == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
  char buffer[512];
  DWORD n = 0;
  // Nothing available: the look failed, as it does once the child's output has ended.
  if (available == 0 ||
      !ReadFile(system_->fromChild, buffer, std::min<DWORD>(sizeof buffer, available), &n, nullptr)) {
    return false;
  }
  pending_.append(buffer, n);
  return true;
}

int ChildProcess::Wait() {
  if (system_ == nullptr) return kKilled;
  if (!exitCode_) {
    WaitForSingleObject(system_->process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(system_->process, &code);
    exitCode_ = static_cast<int>(code);
  }
  return *exitCode_;
}

void ChildProcess::Kill() {
  if (system_ == nullptr || exitCode_) return;
  // A child that had ended already keeps its own exit code.
  const bool terminated = TerminateProcess(system_->process, 1) != FALSE;
  Wait();
  if (terminated) exitCode_ = kKilled;
}

#else
std::string ProgramPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

struct ChildProcess::System {
  pid_t pid;    // the child
  int channel;  // this end of the socket pair
  ~System() { close(channel); }
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
  system_.reset(new System{pid, pair[0]});
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
#endif

// The child is killed first; its handles close with System.
ChildProcess::~ChildProcess() { Kill(); }

}  // namespace reclink::test
