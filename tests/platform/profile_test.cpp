// Reading the profile: the Windows call's rules, the application object and
// where the tools library finds the profile file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/winapi.h"
#include "reclink/tools.h"
#include "reclink/win_app.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace {

using reclink::test::TempDir;

const std::string kIni =
    "; leading comment\r\n"
    "orphan=before any section\r\n"
    "[DB_DIR]\r\n"
    "DATABASE = C:\\DATA\\   \r\n"
    ";DATABASE=commented out\r\n"
    "  quoted = \"  spaced  \" \r\n"
    "single='x'\r\n"
    "half=\"open\r\n"
    "inline=a ; b\r\n"
    "bare\r\n"
    "database=second never read\r\n"
    "[ Other ]\n"
    "DATABASE=D:\\OTHER\n"
    "[db_dir]\n"
    "extra=in the second copy\n";

std::string ExeIni() {
  return std::filesystem::path(reclink::test::ProgramPath()).replace_extension(".ini").string();
}

TEST(Profile, ReadsValuesByTheWindowsRules) {
  TempDir dir;
  std::string ini = dir.file("app.ini");
  std::ofstream(ini, std::ios::binary) << kIni;
  struct Case {
    const char *section, *entry, *def, *want;
  } cases[] = {
      {"DB_DIR", "DATABASE", "", "C:\\DATA\\"},      // blanks around the value go
      {" db_dir ", " DataBase ", "", "C:\\DATA\\"},  // names ignore case and blanks
      {"other", "DATABASE", "", "D:\\OTHER"},
      {"DB_DIR", "inline", "", "a ; b"},  // a later ';' is part of the value
      {"DB_DIR", "quoted", "", "  spaced  "},
      {"DB_DIR", "single", "", "x"},
      {"DB_DIR", "half", "", "\"open"},      // quotes must match to go
      {"DB_DIR", "extra", "d", "d"},         // the first copy of a section is read
      {"NOPE", "DATABASE", "dflt  ", "dflt"},  // default without trailing blanks
      {"DB_DIR", "NOPE", nullptr, ""},
  };
  for (const Case& c : cases) {
    char out[256];
    std::memset(out, 'x', sizeof out);
    DWORD n = GetPrivateProfileStringA(c.section, c.entry, c.def, out, sizeof out, ini.c_str());
    EXPECT_STREQ(out, c.want) << c.section << "/" << c.entry;
    EXPECT_EQ(n, std::strlen(c.want)) << c.section << "/" << c.entry;
  }
  char out[16];
  EXPECT_EQ(GetPrivateProfileStringA("A", "B", "fb ", out, 16, dir.file("no.ini").c_str()), 2u);
  EXPECT_STREQ(out, "fb") << "a missing file gives the default";

  // Cut to the buffer: size - 1 bytes and a zero.
  EXPECT_EQ(GetPrivateProfileStringA("DB_DIR", "DATABASE", "", out, 5, ini.c_str()), 4u);
  EXPECT_STREQ(out, "C:\\D");
  EXPECT_EQ(GetPrivateProfileStringA("DB_DIR", "DATABASE", "", out, 1, ini.c_str()), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileStringA("X", "Y", "abcdefghij", out, 4, ini.c_str()), 3u);
  EXPECT_STREQ(out, "abc");

  // Name lists: each name ends with a zero, the list with one more, also when cut.
  char list[64];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", list, sizeof list, ini.c_str());
  EXPECT_EQ(std::string(list, n + 1), std::string("DB_DIR\0Other\0db_dir\0\0", 21));
  n = GetPrivateProfileStringA("other", nullptr, "", list, sizeof list, ini.c_str());
  EXPECT_EQ(std::string(list, n + 1), std::string("DATABASE\0\0", 10));
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", list, 10, ini.c_str()), 8u);
  EXPECT_EQ(std::string(list, 10), std::string("DB_DIR\0O\0\0", 10));
}

TEST(Profile, ApplicationRegistersItselfAndToolsFindTheIniInOrder) {
  // That the application's profile comes first, and only while it lives,
  // every record class's path shows; without a path it is the executable's.
  {
    CWinApp app;
    EXPECT_EQ(std::string(app.ProfilePath()), ExeIni());
    EXPECT_EQ(app.GetProfileString("DB_DIR", "MISSING", "dflt"), "dflt");
  }
  reclink::test::SetEnvironment("RECLINK_INI", std::nullopt);
  EXPECT_EQ(CTools::GetIniFileName(), ExeIni().c_str());
  reclink::test::SetEnvironment("RECLINK_INI", "/etc/from-env.ini");
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini");
  CTools::SetIniFileName("/opt/set.ini");
  EXPECT_EQ(CTools::GetIniFileName(), "/opt/set.ini") << "a set path comes first";
  CTools::SetIniFileName("");
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini") << "an empty path clears it";
  CTools::SetIniFileName("/opt/set.ini");
  CTools::SetIniFileName(nullptr);
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini");
  reclink::test::SetEnvironment("RECLINK_INI", std::nullopt);
}

}  // namespace
