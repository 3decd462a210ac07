// What the platform layer decides itself on Linux, where no system call
// stands behind the Windows names: short paths, error texts and separators.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/winapi.h"
#include "support/test_support.h"

namespace {

TEST(Posix, PathsTextsAndErrorsAreTheBytesGiven) {
  reclink::test::TempDir dir;
  std::ofstream(dir.file("PATIENT1.BTR")) << "x";
  const std::string path = dir.path() + "\\PATIENT1.BTR";  // the library's separator
  char out[260] = {};
  EXPECT_EQ(GetShortPathNameA(path.c_str(), out, sizeof out), path.size());
  EXPECT_EQ(std::string(out), path) << "an existing path is its own short form";
  EXPECT_EQ(reclink::platform::NativePath("C:\\DATA\\A.BTR"), "C:/DATA/A.BTR");

  EXPECT_EQ(GetShortPathNameA(dir.file("NOPE.BTR").c_str(), out, sizeof out), 0u);
  EXPECT_STREQ(LastErrorText(), "No such file or directory") << "a missing file sets errno";
}

}  // namespace
