// Where the server benchmarks work: the server they measure and the
// directory they keep their files in.
#pragma once

#include <cstdlib>
#include <string>

namespace bench {

// The server's connection string: RECLINK_BENCH_SERVER, else the test
// server's (RECLINK_TEST_SERVER); empty when neither is set.
inline std::string BenchServer() {
  for (const char* name : {"RECLINK_BENCH_SERVER", "RECLINK_TEST_SERVER"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

// The benchmarks' directory: RECMAN_BENCH_DIR, else /tmp/recman-server-bench.
inline std::string BenchDir() {
  const char* dir = std::getenv("RECMAN_BENCH_DIR");
  return dir != nullptr && *dir ? dir : "/tmp/recman-server-bench";
}

}  // namespace bench
