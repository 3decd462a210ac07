// Sends a suite's record files to the test server when ctest runs it as the
// server's (RECLINK_TEST_BACKEND=server): RECMAN_SERVER is set from
// RECLINK_TEST_SERVER, which scripts/with-server provides, before the first
// test. Without a server to test against, every test of the run is skipped,
// in ctest's sight.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "reclink/recman_check.h"
#include "support/child_process.h"

namespace {

class ServerChoice : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* backend = std::getenv("RECLINK_TEST_BACKEND");
    if (backend == nullptr || std::string(backend) != "server") return;
    const char* server = std::getenv("RECLINK_TEST_SERVER");
    if (server == nullptr || *server == '\0') {
      GTEST_SKIP() << "no server to test against: scripts/test (or scripts/with-server) starts one";
    }
    reclink::test::SetEnvironment(RECMAN_SERVER_VARIABLE, server);
  }
};

const auto* const kServerChoice = ::testing::AddGlobalTestEnvironment(new ServerChoice);

}  // namespace
