#pragma once
// Processes and plain files, as the reliability tests start, read and damage
// them.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace reclink::test {

// Starts args[0] with args; returns its pid, or -1. The child inherits every
// descriptor, so pipes can be named to it by number.
inline pid_t Start(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Waits for pid: its exit status, or 128 + the signal that ended it.
inline int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

inline std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Writes bytes over path at offset at; false when it could not.
inline bool Overwrite(const std::string& path, off_t at, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  bool ok = pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
  close(fd);
  return ok;
}

inline off_t SizeOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<off_t>(in.tellg());
}

}  // namespace reclink::test
