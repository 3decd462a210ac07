#pragma once
// The I/O-error log as the suites read it: a whole file, and the date its
// lines begin with.

#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

namespace reclink::test {

// Today's date as a log line begins with it.
inline std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%Y/%m/%d", std::localtime(&now));
  return text;
}

// The bytes of the file at path; empty when there is none.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace reclink::test
