// Short paths, path splitting and the file system's view of a path.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/winapi.h"
#include "support/test_support.h"

namespace {

using reclink::test::TempDir;

TEST(ShortPath, ExistingPathIsItsOwnShortForm) {
  TempDir dir;
  std::ofstream(dir.file("PATIENT1.BTR")) << "x";
  std::string path = dir.path() + "\\PATIENT1.BTR";  // the library's separator

  char out[260] = {};
  DWORD n = GetShortPathNameA(path.c_str(), out, 259);
  EXPECT_EQ(n, path.size());
  EXPECT_EQ(std::string(out), path);

  // Too small: the size needed, terminator included, and nothing written.
  char small[4] = "abc";
  EXPECT_EQ(GetShortPathNameA(path.c_str(), small, 4), path.size() + 1);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(GetShortPathNameA(path.c_str(), out, static_cast<DWORD>(path.size())),
            path.size() + 1);

  // In place, as callers may do.
  char same[260];
  std::strcpy(same, path.c_str());
  EXPECT_EQ(GetShortPathNameA(same, same, sizeof same), path.size());
  EXPECT_EQ(std::string(same), path);

  // Directories have short forms too.
  EXPECT_EQ(GetShortPathNameA(dir.path().c_str(), out, 260), dir.path().size());
}

TEST(ShortPath, MissingFileFailsAndLeavesTheBufferAlone) {
  TempDir dir;
  char out[260] = {};
  EXPECT_EQ(GetShortPathNameA(dir.file("NOPE.BTR").c_str(), out, 259), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetShortPathNameA((dir.path() + "\\nope\\X.BTR").c_str(), out, 259), 0u);
  EXPECT_EQ(GetShortPathNameA("", out, 259), 0u);
  EXPECT_EQ(GetShortPathNameA(nullptr, out, 259), 0u);
  EXPECT_STREQ(out, "");
}

struct Split {
  std::string drive, dir, fname, ext;
};

Split SplitPath(const char* path) {
  char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
  _splitpath(path, drive, dir, fname, ext);
  return {drive, dir, fname, ext};
}

TEST(SplitPath, DriveDirectoryNameAndExtension) {
  Split s = SplitPath("D:\\DATA\\PATIENT1.BTR");
  EXPECT_EQ(s.drive, "D:");
  EXPECT_EQ(s.dir, "\\DATA\\");
  EXPECT_EQ(s.fname, "PATIENT1");
  EXPECT_EQ(s.ext, ".BTR");

  s = SplitPath("/srv/db.d/mixed\\NAME.tar.BTR");
  EXPECT_EQ(s.drive, "");
  EXPECT_EQ(s.dir, "/srv/db.d/mixed\\");
  EXPECT_EQ(s.fname, "NAME.tar");
  EXPECT_EQ(s.ext, ".BTR");

  s = SplitPath("PATIENT1");
  EXPECT_EQ(s.dir, "");
  EXPECT_EQ(s.fname, "PATIENT1");
  EXPECT_EQ(s.ext, "");

  s = SplitPath("C:");
  EXPECT_EQ(s.drive, "C:");
  EXPECT_EQ(s.dir + s.fname + s.ext, "");

  // Null parts are skipped; overlong parts are cut to their size.
  char fname[_MAX_FNAME];
  std::string longName = "/d/" + std::string(400, 'n') + ".e";
  _splitpath(longName.c_str(), nullptr, nullptr, fname, nullptr);
  EXPECT_EQ(std::strlen(fname), _MAX_FNAME - 1);
}

TEST(NativePath, BackslashesBecomeSlashes) {
  EXPECT_EQ(reclink::platform::NativePath("C:\\DATA\\A.BTR"), "C:/DATA/A.BTR");
  EXPECT_EQ(reclink::platform::NativePath("/tmp/x"), "/tmp/x");
  EXPECT_EQ(reclink::platform::NativePath(nullptr), "");
}

}  // namespace
