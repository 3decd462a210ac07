#pragma once
// Running the utility's commands in-process and reading record files back.

#include <string>
#include <vector>

namespace reclink::cli::test {

// What one command line did.
struct Outcome {
  int status;       // exit status
  std::string out;  // what it wrote as results
  std::string err;  // what it wrote as messages
};

// A fresh directory under $TMPDIR (or /tmp), removed with its contents at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;  // the directory
};

// Runs "reclink <args...>" in this process.
Outcome Reclink(const std::vector<std::string>& args);

// Every record of the file at path, in the order of key 0 (physical order
// when key < 0). Fails the current test when the file cannot be read.
std::vector<std::string> ReadAll(const std::string& path, int key = 0);

// Inserts records into the file at path; fails the current test on any status.
void InsertAll(const std::string& path, const std::vector<std::string>& records);

// The whole content of a file, and writing one.
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace reclink::cli::test
