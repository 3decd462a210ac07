#pragma once
// Running the utility's commands in-process and reading record files back.

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace reclink::cli::test {

// What one command line did.
struct Outcome {
  int status;       // exit status
  std::string out;  // what it wrote as results
  std::string err;  // what it wrote as messages
};

using reclink::test::TempDir;
using testing::HasSubstr;
using testing::Not;

// Runs "reclink <args...>" in this process.
Outcome Reclink(const std::vector<std::string>& args);

// A command line and part of what it must say on its message stream.
struct Said {
  std::vector<std::string> args;  // the command line
  std::string says;               // a part of its messages
};

// Runs each command line; each must exit with status and say what it should.
void ExpectEach(int status, const std::vector<Said>& cases);

// Every record of the file at path, in the order of key 0 (physical order
// when key < 0). Fails the current test when the file cannot be read.
std::vector<std::string> ReadAll(const std::string& path, int key = 0);

// Inserts records into the file at path; fails the current test on any status.
void InsertAll(const std::string& path, const std::vector<std::string>& records);

// The whole content of a file, and writing one.
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace reclink::cli::test
