// The log writer: status, create or keep, append, and the exclusive open.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/file.h"
#include "support/test_support.h"

namespace {

using reclink::test::TempDir;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

constexpr UINT kAppend = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite |
                         CFile::shareExclusive;
constexpr UINT kRecreate = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;

TEST(File, CreatesKeepsOrTruncatesAndAppends) {
  TempDir dir;
  std::string path = dir.file("io_error.txt");
  CFileStatus status;
  EXPECT_FALSE(CFile::GetStatus(path.c_str(), status));

  CFile file;
  ASSERT_TRUE(file.Open(path.c_str(), kAppend));
  EXPECT_EQ(file.SeekToEnd(), 0u);
  EXPECT_TRUE(file.Write("one\r\n", 5));
  file.Close();
  EXPECT_FALSE(file.IsOpen());

  ASSERT_TRUE(file.Open(path.c_str(), kAppend));
  EXPECT_EQ(file.SeekToEnd(), 5u);
  EXPECT_TRUE(file.Write("two\r\n", 5));
  file.Close();
  EXPECT_EQ(Contents(path), "one\r\ntwo\r\n");
  ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
  EXPECT_EQ(status.m_size, 10u);

  ASSERT_TRUE(file.Open(path.c_str(), kRecreate));
  EXPECT_TRUE(file.Write("new", 3));
  file.Close();
  EXPECT_EQ(Contents(path), "new");

  // Without modeCreate a missing file is not made; backslashes are separators.
  EXPECT_FALSE(file.Open(dir.file("absent.txt").c_str(), CFile::modeWrite));
  EXPECT_TRUE(CFile::GetStatus((dir.path() + "\\io_error.txt").c_str(), status));
  EXPECT_FALSE(file.Write("x", 1)) << "writing to a closed file fails";
}

TEST(File, ExclusiveOpenRefusesASecondWriterWithoutHarmingTheFile) {
  TempDir dir;
  std::string path = dir.file("io_error.txt");
  CFile holder;
  ASSERT_TRUE(holder.Open(path.c_str(), kAppend));
  ASSERT_TRUE(holder.Write("held\r\n", 6));

  CFile second;
  EXPECT_FALSE(second.Open(path.c_str(), kAppend));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_FALSE(second.Open(path.c_str(), kRecreate));
  EXPECT_EQ(Contents(path), "held\r\n") << "a refused re-create must not truncate";

  holder.Close();
  EXPECT_TRUE(second.Open(path.c_str(), kAppend)) << "closing releases the file";
}

}  // namespace
