#pragma once
// The reclink utility run as an administrator runs it, by the server suites
// that move directories and make views (RECLINK_EXECUTABLE names it).

#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

namespace reclink::test {

// s in single quotes, for the shell.
inline std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Runs "reclink arguments"; its exit status, and what it wrote (both
// streams) in *out when out is given.
inline int Reclink(const std::string& arguments, std::string* out = nullptr) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen((Quoted(RECLINK_EXECUTABLE) + " " + arguments + " 2>&1").c_str(), "r"), &pclose);
  std::string text;
  char buffer[4096];
  for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, n);
  const int status = pipe ? pclose(pipe.release()) : -1;
  if (out != nullptr) *out = text;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What "reclink arguments" wrote.
inline std::string ReclinkOutput(const std::string& arguments) {
  std::string out;
  Reclink(arguments, &out);
  return out;
}

}  // namespace reclink::test
