// Reading the profile: the Windows call's rules for what the library asks
// (one entry of one section, into a buffer it may fill), the application
// object's profile and where the tools library finds the profile file.
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
    "[DB_DIR]\r\n"
    "DATABASE = C:\\DATA\\   \r\n"
    ";DATABASE=commented out\r\n"
    "  quoted = \"  spaced  \" \r\n"
    "inline=a ; b\r\n"
    "database=second never read\r\n"
    "[ Other ]\n"
    "DATABASE=D:\\OTHER\n";

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
      {"DB_DIR", "NOPE", "", ""},
#ifndef _WIN32
      // Where the system's call is not there to follow, the layer decides:
      {"DB_DIR", ";DATABASE", "d", "d"},  // a ';' line is a comment
#endif
  };
  for (const Case& c : cases) {
    char out[256];
    std::memset(out, 'x', sizeof out);
    DWORD n = GetPrivateProfileStringA(c.section, c.entry, c.def, out, sizeof out, ini.c_str());
    EXPECT_STREQ(out, c.want) << c.section << "/" << c.entry;
    EXPECT_EQ(n, std::strlen(c.want)) << c.section << "/" << c.entry;
  }
  char out[16];
  EXPECT_EQ(GetPrivateProfileStringA("A", "B", "fb", out, 16, dir.file("no.ini").c_str()), 2u);
  EXPECT_STREQ(out, "fb") << "a missing file gives the default";

  // Cut to the buffer: size - 1 bytes and a zero.
  EXPECT_EQ(GetPrivateProfileStringA("DB_DIR", "DATABASE", "", out, 5, ini.c_str()), 4u);
  EXPECT_STREQ(out, "C:\\D");
}

TEST(Profile, ApplicationRegistersItselfAndToolsFindTheIniInOrder) {
  // That the application's profile comes first, and only while it lives,
  // every record class's path shows; without a path it is the executable's.
  EXPECT_EQ(std::string(CWinApp().ProfilePath()), ExeIni());

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
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini") << "and so does none";
  reclink::test::SetEnvironment("RECLINK_INI", std::nullopt);
}

}  // namespace
