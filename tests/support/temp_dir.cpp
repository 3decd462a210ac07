#include "support/temp_dir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace reclink::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  // $TMPDIR (or /tmp) on Linux, %TMP% (or the Windows directory's Temp) on
  // Windows; a random name, tried until one is new. The name is a valid
  // short (8.3) name, "RL" and six letters or digits: Wine finds such a name
  // without reading the whole directory, and its reading of a directory in
  // which other tests create and remove theirs meanwhile can miss names that
  // exist (GetShortPathName then fails with "file not found").
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("TempDir: no temporary directory: " + ec.message());
  std::random_device seed;
  std::mt19937_64 random(seed());
  constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "RL";
    for (int i = 0; i < 6; ++i) name += kDigits[random() % 36];
    const fs::path candidate = base / name;
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
