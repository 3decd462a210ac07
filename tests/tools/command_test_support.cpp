#include "command_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/btr_file.h"
#include "cli/command.h"
#include "reclink/btrieve.h"
#include "reclink/records/catalogue.h"

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


void SaveDemoDatabase(const std::string& db, const std::string& folder) {
  ASSERT_EQ(Reclink({"demo", db}).status, 0);
  std::filesystem::create_directories(folder);
  for (const RecordFileRow& row : kRecordFiles) {
    const std::string stem = std::filesystem::path(row.fileName).stem().string();
    Outcome o = Reclink({"save", db + "/" + row.fileName, folder + "/" + stem + ".SEQ"});
    ASSERT_EQ(o.status, 0) << o.err;
  }
}

bool LeftNoPartial(const std::string& dir) {
  for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() == ".partial") return false;
  }
  return true;
}

}  // namespace reclink::cli::test
