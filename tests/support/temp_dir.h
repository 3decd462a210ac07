#pragma once
// A fresh directory for one test, removed with everything in it at the end.
// Depends on no layer of the library, so any suite can use it.

#include <string>

namespace reclink::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // path() + "/" : a database directory as the library's constructors take it.
  std::string dir() const { return path_ + "/"; }

 private:
  std::string path_;  // the directory
};

}  // namespace reclink::test
