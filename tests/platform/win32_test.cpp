// The platform layer on Windows, where the real system answers: 8.3 short
// names. The system's texts in code page 932 the record object's error box
// shows (core/base_rec_link_test.cpp).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <string>

#include "support/test_support.h"

namespace reclink::test {

// GetShortPathNameA of the platform layer (win32_layer.cpp).
unsigned long LayerShortPathName(const char* longPath, char* shortPath, unsigned long size);

namespace {

TEST(Win32, LongNamesHaveShortFormsAndMissingFilesSetTheError) {
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
}

}  // namespace
}  // namespace reclink::test
