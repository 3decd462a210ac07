// Where the server benchmarks work: the server they measure and the
// directory they keep their files in.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "reclink/btrieve.h"

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

// Whether the record file at path exists and opens (it is closed again).
inline bool RecordFileOpens(const std::string& path) {
  char pos[B_POSITION_BLOCK_SIZE] = {}, key[B_MAX_KEY_LENGTH + 1] = {};
  std::snprintf(key, sizeof key, "%s", path.c_str());
  uint32_t len = 0;
  if (BTRCALL(B_OPEN, pos, nullptr, &len, key, 0, 0) != B_NO_ERROR) return false;
  BTRCALL(B_CLOSE, pos, nullptr, &len, key, 0, 0);
  return true;
}

}  // namespace bench
