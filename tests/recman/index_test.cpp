// Create Index over more records than one batch of values. The rest of
// Create Index and Drop Index is a call script; a refusal while another
// process has the file open is the lock test's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reclink/recman_check.h"
#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Records of 24 bytes: a name (key 0, unique) and, at 16, a code (a 4-byte
// integer) that the new key takes, with 0 as its null value.
TEST(IndexTest, AKeyOverManyRecordsLeavesNullValuesOut) {
  constexpr uint16_t kLen = 24;
  constexpr int kRecords = 2500;
  TempDir dir;
  const std::string path = dir.file("index.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  for (int i = 0; i < kRecords; ++i) {
    // Codes descend as names ascend; every tenth record has none.
    std::string r = MakeRecord(kLen, {{0, "n" + std::to_string(10000 + i)}});
    const int32_t code = i % 10 == 0 ? 0 : kRecords - i;
    std::memcpy(r.data() + 16, &code, 4);
    ASSERT_EQ(f.Insert(r), 0);
  }
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  // Create Index takes the key as a Create buffer has it, past the file's part.
  const std::vector<uint8_t> code = MakeSpec(kLen, 1, {{17, 4, B_KEY_NULL, B_TYPE_INTEGER}});
  ASSERT_EQ(f.Write(B_CREATE_INDEX, std::string(code.begin() + sizeof(BtrFileSpec), code.end()), 0), 0);
  const std::vector<std::string> walk = f.Walk(1);
  ASSERT_EQ(walk.size(), size_t{kRecords - kRecords / 10});
  EXPECT_EQ(walk.front(), "n" + std::to_string(10000 + kRecords - 1));
  EXPECT_EQ(walk.back(), "n10001");
  ASSERT_EQ(f.Close(), 0);
  if (!OnServer()) {
    EXPECT_EQ(BtrCheckFile(path.c_str(), nullptr, nullptr), 0);
  }
}

}  // namespace
}  // namespace reclink::test
