// The platform layer on Windows, where the real system answers: code page 932
// as the ANSI code page (the tests run in a Japanese locale), its texts in
// that code page, and 8.3 short names.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <string>

#include "support/test_support.h"

namespace reclink::test {

// LastErrorText and GetShortPathNameA of the platform layer (win32_layer.cpp).
std::string LayerLastErrorText();
unsigned long LayerShortPathName(const char* longPath, char* shortPath, unsigned long size);

namespace {

// bytes in code page 932 as UTF-16; empty when they are not valid there.
std::wstring FromCodePage932(const std::string& bytes) {
  std::wstring wide(bytes.size(), L'\0');
  int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(),
                              static_cast<int>(bytes.size()), wide.data(),
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

TEST(Win32, AnsiCodePageIs932AndSystemTextsAreInIt) {
  ASSERT_EQ(GetACP(), 932u) << "the tests run with LANG=ja_JP.UTF-8";

  SetLastError(0);
  EXPECT_EQ(LayerLastErrorText(), "");
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = LayerLastErrorText();
  wchar_t wide[512] = {};
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_FILE_NOT_FOUND, 0, wide, 512, nullptr),
            0u);
  EXPECT_EQ(FromCodePage932(text), std::wstring(wide)) << "the system's text, in code page 932";
}

TEST(Win32, LongNamesHaveShortFormsAndMissingFilesSayWhy) {
  TempDir dir;
  std::ofstream(dir.file("PATIENT-RECORDS.BTR")) << "x";
  char out[MAX_PATH] = {};
  ASSERT_GT(LayerShortPathName(dir.file("PATIENT-RECORDS.BTR").c_str(), out, MAX_PATH), 0u);
  const std::string shortPath = out;
  const std::string name = shortPath.substr(shortPath.find_last_of('\\') + 1);
  EXPECT_TRUE(std::regex_match(name, std::regex(R"([^.]{1,8}~[^.]*\.BTR)"))) << shortPath;

  SetLastError(0);
  EXPECT_EQ(LayerShortPathName(dir.file("NOPE.BTR").c_str(), out, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(LayerLastErrorText(), "");
}

}  // namespace
}  // namespace reclink::test
