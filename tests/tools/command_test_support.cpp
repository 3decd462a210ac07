#include "command_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/btr_file.h"
#include "cli/command.h"
#include "reclink/btrieve.h"

namespace reclink::cli::test {

Outcome Reclink(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  Io io{out, err, false};
  int status = RunCommandLine(args, io);
  return {status, out.str(), err.str()};
}

void ExpectEach(int status, const std::vector<Said>& cases) {
  for (const Said& c : cases) {
    Outcome o = Reclink(c.args);
    EXPECT_EQ(o.status, status) << (c.args.empty() ? "" : c.args[0]) << ": " << o.err;
    EXPECT_THAT(o.err, HasSubstr(c.says));
  }
}

std::vector<std::string> ReadAll(const std::string& path, int key) {
  std::vector<std::string> records;
  BtrFile file;
  int status = file.Open(path, B_MODE_READ_ONLY);
  EXPECT_EQ(status, 0) << path;
  if (status != 0) return records;
  std::string record;
  for (status = file.First(key, &record); status == 0; status = file.Next(key, &record)) {
    records.push_back(record);
  }
  EXPECT_EQ(status, B_END_OF_FILE) << path;
  return records;
}

void InsertAll(const std::string& path, const std::vector<std::string>& records) {
  BtrFile file;
  ASSERT_EQ(file.Open(path, B_MODE_NORMAL), 0) << path;
  for (const std::string& r : records) ASSERT_EQ(file.Insert(r), 0) << path;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace reclink::cli::test
