#pragma once
// Plain files, as the reliability tests read and damage them.

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace reclink::test {

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
