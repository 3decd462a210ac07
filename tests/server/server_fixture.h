#pragma once
// What the server suites share: the test server, a workstation's view of
// the clinic's database, and a fixture with one patient file on the server.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/btr_file.h"
#include "support/temp_dir.h"
#include "reclink/recman_check.h"

namespace reclink::test {

constexpr uint16_t kLen = 64;
constexpr const char* kPatients = "PATIENT1.BTR";

// The patient number, ten digits, is key 0; a note follows.
inline std::vector<uint8_t> PatientSpec() { return MakeSpec(kLen, 1, {{1, 11, 0}}); }

inline std::string Number(long n) {
  char text[24];  // room for any long, so that the format cannot be cut
  std::snprintf(text, sizeof text, "%010ld", n);
  return text;
}

// The test server's connection string, or empty.
inline std::string TestServer() {
  const char* server = std::getenv("RECLINK_TEST_SERVER");
  return server != nullptr ? server : "";
}

// A workstation's view of the clinic's database: a directory of its own
// whose configuration sends its files to the server, under one database
// name that all workstations share; settings are further lines of it.
class Workstation {
 public:
  explicit Workstation(const std::string& database, const std::string& settings = "") {
    std::ofstream(dir_.file(RECMAN_SERVER_CONFIG_NAME)) << "# the clinic's server\nserver = " << TestServer()
                                                       << "\ndatabase = " << database << "\n" << settings;
  }
  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  TempDir dir_;  // where this workstation mounts the share
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestServer().empty()) GTEST_SKIP() << "no server to test against: scripts/test starts one";
    // A database of this test's own on the shared server.
    database_ = "clinic-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(std::rand());
    a_ = std::make_unique<Workstation>(database_);
    b_ = std::make_unique<Workstation>(database_);
    ASSERT_EQ(CreateFile(a_->file(kPatients), PatientSpec()), 0);
  }
  void TearDown() override { Tx(B_RESET); }

  std::string database_;
  std::unique_ptr<Workstation> a_, b_;
};

}  // namespace reclink::test
