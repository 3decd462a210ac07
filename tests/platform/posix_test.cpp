// What the platform layer decides itself on Linux, where no system call
// stands behind the Windows names: the default box, short paths, error
// texts, separators and the executable's name.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>

#include "platform/winapi.h"
#include "support/test_support.h"

namespace {

TEST(Posix, DefaultBoxIsOneLineOnStderr) {
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "RecLinkDLL ERROR:\n\nPATIENT_DB BO_OPEN Status = 12\r\n\n", "app", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "app: RecLinkDLL ERROR:  PATIENT_DB BO_OPEN Status = 12  \n")
      << "each line break a space";
}

TEST(Posix, PathsTextsAndErrorsAreTheBytesGiven) {
  reclink::test::TempDir dir;
  std::ofstream(dir.file("PATIENT1.BTR")) << "x";
  const std::string path = dir.path() + "\\PATIENT1.BTR";  // the library's separator
  char out[260] = {};
  EXPECT_EQ(GetShortPathNameA(path.c_str(), out, sizeof out), path.size());
  EXPECT_EQ(std::string(out), path) << "an existing path is its own short form";
  char small[4] = "abc";
  EXPECT_EQ(GetShortPathNameA(path.c_str(), small, 4), path.size() + 1) << "the size needed";
  EXPECT_STREQ(small, "abc") << "and nothing written";
  EXPECT_EQ(reclink::platform::NativePath("C:\\DATA\\A.BTR"), "C:/DATA/A.BTR");

  EXPECT_EQ(GetShortPathNameA(dir.file("NOPE.BTR").c_str(), out, sizeof out), 0u);
  EXPECT_STREQ(LastErrorText(), "No such file or directory") << "a missing file sets errno";

  // The executable's name, for default captions: after the last separator,
  // before the last dot of the name, if it has one.
  const std::pair<std::string, std::string> exes[] = {
      {"/srv/db.d/core.tests.bin", "core.tests"},
      {"/srv/db.d/core_tests", "core_tests"},
      {"/d/" + std::string(400, 'n') + ".e", std::string(_MAX_FNAME - 1, 'n')},  // cut to its size
  };
  for (const auto& [exe, stem] : exes) {
    char fname[_MAX_FNAME];
    _splitpath(exe.c_str(), nullptr, nullptr, fname, nullptr);
    EXPECT_EQ(fname, stem) << exe;
  }
}

}  // namespace
