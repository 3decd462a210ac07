// The child process helper on Windows: CreateProcess of the program, with
// two pipes as the child's standard input and output.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include "support/child_process.h"
#include "support/system_text.h"

namespace reclink::test {

struct ChildProcess::System {
  HANDLE process = nullptr;  // the child
  HANDLE toChild = nullptr;  // the write end of its standard input
  HANDLE fromChild = nullptr;  // the read end of its standard output
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

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  // The C runtime's copy, which getenv reads; "" removes the variable.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
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
  system_ = std::make_unique<System>(System{info.hProcess, toChild, fromChild});
}

ChildProcess::~ChildProcess() {
  if (system_ == nullptr) return;
  if (!exitCode_) Kill();
  CloseHandle(system_->toChild);
  CloseHandle(system_->fromChild);
  CloseHandle(system_->process);
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
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(system_->fromChild, nullptr, 0, nullptr, &available, nullptr)) {
      return false;  // the child's output has ended
    }
    if (available > 0) {
      char buffer[512];
      DWORD n = 0;
      if (!ReadFile(system_->fromChild, buffer, sizeof buffer < available ? sizeof buffer : available,
                    &n, nullptr) ||
          n == 0) {
        return false;
      }
      pending_.append(buffer, n);
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
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

}  // namespace reclink::test
