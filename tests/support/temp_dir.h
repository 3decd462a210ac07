#pragma once
// A fresh directory for one test, removed with everything in it at the end.
// Depends on no layer of the library, so any suite can use it.

#include <filesystem>
#include <string>

namespace reclink::test {

// A fresh directory under the system's temporary directory ($TMPDIR or /tmp
// on Linux), removed with everything in it when the object dies. Paths use
// the system's separator: '/' on Linux, '\\' on Windows.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path(), the separator and name.
  std::string file(const std::string& name) const { return dir() + name; }
  // path() and the separator: a database directory as the library's
  // constructors take it.
  std::string dir() const { return path_ + kSeparator; }

  static constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

 private:
  std::string path_;  // the directory
};

}  // namespace reclink::test
