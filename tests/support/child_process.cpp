// What the child process helper does the same on every system: the roles and
// the line channel's framing.
#include "support/child_process.h"

#include <cstring>
#include <iostream>
#include <map>

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
  if (!line.empty() && line.back() == '\r') line.pop_back();
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

}  // namespace reclink::test
