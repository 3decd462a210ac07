// Reading the profile: the Windows call's rules, the application object and
// where the tools library finds the profile file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/winapi.h"
#include "reclink/tools.h"
#include "reclink/win_app.h"
#include "support/test_support.h"

namespace {

using reclink::test::TempDir;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The value read with a roomy buffer.
std::string Read(const char* section, const char* entry, const char* def, const std::string& file) {
  char out[256];
  std::memset(out, 'x', sizeof out);
  DWORD n = GetPrivateProfileStringA(section, entry, def, out, sizeof out, file.c_str());
  EXPECT_EQ(n, std::strlen(out));
  return out;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(ini_, "; leading comment\r\n"
                    "orphan=before any section\r\n"
                    "[DB_DIR]\r\n"
                    "DATABASE = C:\\DATA\\   \r\n"
                    ";DATABASE=commented out\r\n"
                    "  quoted = \"  spaced  \" \r\n"
                    "single='x'\r\n"
                    "half=\"open\r\n"
                    "inline=a ; b\r\n"
                    "empty=\r\n"
                    "bare\r\n"
                    "database=second wins never\r\n"
                    "[ Other ]\n"
                    "DATABASE=D:\\OTHER\n"
                    "[db_dir]\n"
                    "extra=in the second copy\n");
  }
  TempDir dir_;
  std::string ini_ = dir_.file("app.ini");
};

TEST_F(ProfileTest, FindsEntriesWithoutCaseAndTrimsValues) {
  EXPECT_EQ(Read("DB_DIR", "DATABASE", "", ini_), "C:\\DATA\\");
  EXPECT_EQ(Read("db_dir", "database", "", ini_), "C:\\DATA\\");
  EXPECT_EQ(Read(" Db_Dir ", " DataBase ", "", ini_), "C:\\DATA\\");
  EXPECT_EQ(Read("other", "DATABASE", "", ini_), "D:\\OTHER");
  EXPECT_EQ(Read("DB_DIR", "inline", "", ini_), "a ; b");
  EXPECT_EQ(Read("DB_DIR", "empty", "def", ini_), "");
  EXPECT_EQ(Read("DB_DIR", "bare", "def", ini_), "");
}

TEST_F(ProfileTest, RemovesOnePairOfMatchingQuotes) {
  EXPECT_EQ(Read("DB_DIR", "quoted", "", ini_), "  spaced  ");
  EXPECT_EQ(Read("DB_DIR", "single", "", ini_), "x");
  EXPECT_EQ(Read("DB_DIR", "half", "", ini_), "\"open");
}

TEST_F(ProfileTest, MissingFileSectionOrEntryGivesTheDefault) {
  EXPECT_EQ(Read("DB_DIR", "DATABASE", "fallback  ", dir_.file("missing.ini")), "fallback");
  EXPECT_EQ(Read("NOPE", "DATABASE", "fallback", ini_), "fallback");
  EXPECT_EQ(Read("DB_DIR", "NOPE", nullptr, ini_), "");
  // Comment lines, entries outside a section and later copies of a section
  // are not read.
  EXPECT_EQ(Read("DB_DIR", ";DATABASE", "d", ini_), "d");
  EXPECT_EQ(Read("", "orphan", "d", ini_), "d");
  EXPECT_EQ(Read("DB_DIR", "extra", "d", ini_), "d");
}

TEST_F(ProfileTest, CutsTheValueToTheBuffer) {
  char out[8];
  EXPECT_EQ(GetPrivateProfileStringA("DB_DIR", "DATABASE", "", out, 5, ini_.c_str()), 4u);
  EXPECT_STREQ(out, "C:\\D");
  EXPECT_EQ(GetPrivateProfileStringA("DB_DIR", "DATABASE", "", out, 1, ini_.c_str()), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileStringA("X", "Y", "abcdefghij", out, 4, ini_.c_str()), 3u);
  EXPECT_STREQ(out, "abc");
}

TEST_F(ProfileTest, ListsSectionsAndEntries) {
  char out[64];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", out, sizeof out, ini_.c_str());
  EXPECT_EQ(std::string(out, n + 1), std::string("DB_DIR\0Other\0db_dir\0\0", 21));
  n = GetPrivateProfileStringA("other", nullptr, "", out, sizeof out, ini_.c_str());
  EXPECT_EQ(std::string(out, n + 1), std::string("DATABASE\0\0", 10));
  // A list that does not fit ends with two zeros.
  n = GetPrivateProfileStringA(nullptr, nullptr, "", out, 10, ini_.c_str());
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::string(out, 10), std::string("DB_DIR\0O\0\0", 10));
}

TEST(WinApp, ReadsItsProfileAndRegistersItself) {
  TempDir dir;
  WriteFile(dir.file("host.ini"), "[DB_DIR]\nDATABASE=\"/srv/db/\"\n");
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    CWinApp app(dir.file("host.ini").c_str());
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(app.GetProfileString("db_dir", "database"), "/srv/db/");
    EXPECT_EQ(app.GetProfileString("DB_DIR", "MISSING", "dflt"), "dflt");
    EXPECT_EQ(app.GetProfileString("DB_DIR", "MISSING"), "");
    EXPECT_STREQ(AppTitle(), "platform_tests");
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_STREQ(AppTitle(), "platform_tests");

  // Without a path, the profile sits beside the executable.
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  CWinApp app;
  EXPECT_EQ(std::string(app.ProfilePath()), (exe.parent_path() / "platform_tests.ini").string());
}

TEST(Tools, IniFileNameComesFromOverrideThenEnvironmentThenExecutable) {
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  unsetenv("RECLINK_INI");
  EXPECT_EQ(CTools::GetIniFileName(), (exe.parent_path() / "platform_tests.ini").string().c_str());
  setenv("RECLINK_INI", "/etc/from-env.ini", 1);
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini");
  CTools::SetIniFileName("/opt/set.ini");
  EXPECT_EQ(CTools::GetIniFileName(), "/opt/set.ini");
  CTools::SetIniFileName(nullptr);
  EXPECT_EQ(CTools::GetIniFileName(), "/etc/from-env.ini");
  unsetenv("RECLINK_INI");
}

}  // namespace
