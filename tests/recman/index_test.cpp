// Create Index over more records than one batch, and against another
// process that has the file open. The rest of Create Index and Drop Index
// is a call script.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "reclink/recman_check.h"
#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Records of 24 bytes: a name (key 0, unique), a city, a code (4-byte
// integer).
constexpr uint16_t kLen = 24;
const Seg kCity{9, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE};
const Seg kCode{17, 4, 0, B_TYPE_INTEGER};

std::string Rec(const std::string& name, const std::string& city, int32_t code) {
  std::string r = MakeRecord(kLen, {{0, name}, {8, city}});
  std::memcpy(r.data() + 16, &code, 4);
  return r;
}

// The key specification of one segment, as Create Index takes it.
std::string KeySpec(const Seg& seg, uint8_t manualNumber = 0) {
  BtrKeySpec ks{};
  ks.position = seg.position;
  ks.length = seg.length;
  ks.flags = static_cast<uint16_t>(seg.flags | B_KEY_EXTENDED_TYPE);
  ks.extendedType = seg.type;
  ks.manualKeyNumber = manualNumber;
  return std::string(reinterpret_cast<const char*>(&ks), sizeof ks);
}

void Collect(void* ctx, const char* problem) { static_cast<std::vector<std::string>*>(ctx)->push_back(problem); }

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.recordLength = kLen;
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
    ASSERT_EQ(f_.Open(path_), 0);
    for (const auto& [name, city, code] : std::vector<std::tuple<const char*, const char*, int32_t>>{
             {"ann", "rome", 40}, {"bob", "oslo", 10}, {"cy", "rome", 50}, {"dan", "lima", 30}, {"eve", "oslo", 20}}) {
      ASSERT_EQ(f_.Insert(Rec(name, city, code)), 0);
    }
  }
  void TearDown() override { Tx(B_RESET); }

  int CreateIndex(BtrFile& f, const std::string& spec, int8_t keyNum = 0) {
    return f.Write(B_CREATE_INDEX, spec, keyNum);
  }
  // The file's keys, as Stat counts them.
  int Keys(BtrFile& f) {
    BtrFileSpec spec{};
    uint32_t len = 4096;
    std::vector<char> buf(len);
    EXPECT_EQ(BTRCALL(B_STAT, f.pos, buf.data(), &len, f.keyBuf, 255, 0), 0);
    std::memcpy(&spec, buf.data(), sizeof spec);
    return spec.numberOfKeys;
  }
  // The problems a check of the file finds (none asked of a server's file).
  std::vector<std::string> Problems() {
    std::vector<std::string> problems;
    if (!OnServer()) BtrCheckFile(path_.c_str(), Collect, &problems);
    return problems;
  }

  TempDir dir_;
  const std::string path_ = dir_.file("index.dat");
  BtrFile f_;
};

// More records than one batch of values, some of them null on the new key
// (a code of 0, the key's null value), which stay off its path.
TEST_F(IndexTest, AKeyOverManyRecordsLeavesNullValuesOut) {
  constexpr int kRecords = 2500;
  for (int first = 0; first < kRecords;) {
    std::vector<std::string> images;
    for (; images.size() < 500 && first < kRecords; ++first) {
      // Codes, above those of the five, descend as names ascend; every
      // tenth record has none.
      images.push_back(Rec("n" + std::to_string(10000 + first), "x", first % 10 == 0 ? 0 : 100 + kRecords - first));
    }
    ASSERT_EQ(f_.Write(B_INSERT_EXTENDED, Batch(images), 0), 0);
  }
  Seg code = kCode;
  code.flags = B_KEY_NULL;
  ASSERT_EQ(CreateIndex(f_, KeySpec(code)), 0);
  const std::vector<std::string> walk = f_.Walk(1);
  ASSERT_EQ(walk.size(), size_t{5 + kRecords - kRecords / 10});
  EXPECT_EQ(walk[4], "cy");
  EXPECT_EQ(walk[5], "n" + std::to_string(10000 + kRecords - 1));
  EXPECT_EQ(walk.back(), "n10001");
  ASSERT_EQ(f_.Close(), 0);
  EXPECT_TRUE(Problems().empty());
}

// A second process with the file open: "open" once it is, then it waits
// for a line, closes the file and answers with the status.
RECLINK_CHILD_ROLE(IndexOpener) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("open");
  ReceiveFromParent();
  SendToParent(std::to_string(f.Close()));
  return 0;
}

// Another process with the file open refuses it too (another block of this
// process, a transaction and a read-only block are a call script's).
TEST_F(IndexTest, RefusedWhileAnotherProcessHasTheFileOpen) {
  const std::string spec = KeySpec(kCity);
  {
    ChildProcess child("IndexOpener", {path_});
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.Receive(), "open");
    EXPECT_EQ(CreateIndex(f_, spec), B_INCOMPATIBLE_MODE) << "another process";
    // Closed, not killed: a server lets a killed client's claim go only
    // once it has seen the connection end.
    EXPECT_TRUE(child.Send("close"));
    EXPECT_EQ(child.Receive(), "0");
  }
  // Alone again, and while it changes the keys nobody opens the file.
  ASSERT_EQ(CreateIndex(f_, spec), 0);
  BtrFile g(kLen);
  ASSERT_EQ(g.Open(path_), 0);
  EXPECT_EQ(Keys(g), 2);
}

}  // namespace
}  // namespace reclink::test
