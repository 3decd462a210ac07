// Set Directory and Get Directory: each client's current directory, within
// which its relative file names are taken; and the directories where a
// record file kept locally may not lie.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/os_files.h"
#include "support/temp_dir.h"
#include "reclink/recman_check.h"

namespace reclink::test {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kLen = 16;

// Set Directory to name for client (null: the process's own).
int SetDirectory(const std::string& name, const void* client = nullptr) {
  BtrFile f;
  f.client = client;
  std::strncpy(f.keyBuf, name.c_str(), sizeof f.keyBuf - 1);
  return f.Call(B_SET_DIRECTORY, 0);
}

// Get Directory of the current drive; the directory, or "status N".
std::string GetDirectory(uint8_t keyLen = 255, const void* client = nullptr) {
  BtrFile f;
  f.client = client;
  f.keyLen = keyLen;
  const int status = f.Call(B_GET_DIRECTORY, 0);
  return status == 0 ? std::string(f.keyBuf) : "status " + std::to_string(status);
}

TEST(DirectoryTest, RelativeNamesAreTakenWithinTheClientsDirectory) {
  TempDir dir;
  fs::create_directory(dir.file("sub"));
  const std::string start = GetDirectory();
  EXPECT_EQ(fs::path(start), fs::canonical(fs::current_path())) << "the process's directory at first";
  const std::string home = fs::canonical(dir.path()).string();

  ASSERT_EQ(SetDirectory(dir.path()), 0);
  EXPECT_EQ(GetDirectory(), home);
  ASSERT_EQ(CreateFile("made.dat", MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(dir.file("made.dat")), 0) << "created within the directory";
  ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "one"}})), 0);
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(SetDirectory("sub"), 0) << "a relative name, within the directory too";
  EXPECT_EQ(fs::path(GetDirectory()), fs::path(home) / "sub");
  ASSERT_EQ(f.Open(std::string("..") + TempDir::kSeparator + "made.dat"), 0);
  EXPECT_EQ(f.Walk(0), std::vector<std::string>{"one"});

  // Another client keeps the process's directory.
  static const char kOther[16] = "other client";
  EXPECT_EQ(GetDirectory(255, kOther), start);

  EXPECT_EQ(SetDirectory(dir.file("none")), B_FILE_NOT_FOUND);
  EXPECT_EQ(fs::path(GetDirectory()), fs::path(home) / "sub") << "a refused Set Directory changes nothing";
  EXPECT_EQ(GetDirectory(4), "status 21") << "a key buffer too short for it";

  ASSERT_EQ(SetDirectory(start), 0);  // as the other tests expect it
}

// A record file that SQLite keeps may not lie on a network file system:
// Open, Create and a check refuse it with 3001, on a local file system all
// go ahead, and a directory whose files a server keeps may lie anywhere.
TEST(DirectoryTest, FilesKeptLocallyStayOffNetworkFileSystems) {
  TempDir dir;
  const std::vector<uint8_t> spec = MakeSpec(kLen, 1, {{1, 8, 0}});
  ASSERT_EQ(CreateFile(dir.file("made.dat"), spec), 0);
  const FileSystemTypes types = TestFileSystemTypes();
  const int onShare = OnServer() ? 0 : B_LOCAL_ACCESS_NOT_ALLOWED;
  for (const auto& [kinds, want] : {std::pair{types.network, onShare}, std::pair{types.local, 0}}) {
    for (const std::string& type : kinds) {
      SetEnvironment("RECMAN_TEST_FILE_SYSTEM", type);
      BtrFile f(kLen);
      EXPECT_EQ(f.Open(dir.file("made.dat")), want) << type;
      EXPECT_EQ(CreateFile(dir.file("new.dat"), spec), want) << type;
      std::string problem;
      const int checked = BtrCheckFile(dir.file("made.dat").c_str(), [](void* ctx, const char* text) {
        *static_cast<std::string*>(ctx) = text;
      }, &problem);
      EXPECT_EQ(checked, want == 0 ? 0 : -1) << type << ": " << problem;
      EXPECT_EQ(problem.find("network file system") != std::string::npos, want != 0) << problem;
    }
  }
  SetEnvironment("RECMAN_TEST_FILE_SYSTEM", std::nullopt);
  // A share reached by its UNC name, where the system has such names.
  if (const std::string share = UncDirectory(); !share.empty()) {
    EXPECT_EQ(CreateFile(share + "\\new.dat", spec), onShare) << share;
  }
}

}  // namespace
}  // namespace reclink::test
