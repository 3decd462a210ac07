#include "support/temp_dir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace reclink::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  // $TMPDIR (or /tmp) on Linux, %TMP% (or the Windows directory's Temp) on
  // Windows; a random name, tried until one is new.
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("TempDir: no temporary directory: " + ec.message());
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        base / ("reclink-test-" + std::to_string(random() % 1000000000000ULL));
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
    if (ec) throw std::runtime_error("TempDir: cannot create " + candidate.string() + ": " +
                                     ec.message());
  }
  throw std::runtime_error("TempDir: no new directory name under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace reclink::test
