// Create Index and Drop Index: a key added to a file with records, or taken
// out of it, with the keys after it moving down; what refuses them.
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

TEST_F(IndexTest, CreateIndexAddsAKeyOverTheRecordsThere) {
  ASSERT_EQ(CreateIndex(f_, KeySpec(kCity)), 0);
  EXPECT_EQ(Keys(f_), 2);
  // Duplicates in the order their records were stored.
  EXPECT_EQ(f_.Walk(1), (std::vector<std::string>{"dan", "bob", "eve", "ann", "cy"}));
  EXPECT_EQ(f_.Walk(1, false), (std::vector<std::string>{"cy", "ann", "eve", "bob", "dan"}));
  ASSERT_EQ(f_.Insert(Rec("fay", "oslo", 60)), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 1, "oslo"), 0);
  EXPECT_EQ(f_.Field(0), "bob");
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "eve"), 0);
  ASSERT_EQ(f_.Update(Rec("eve", "bern", 20)), 0) << "the new key is modifiable";
  EXPECT_EQ(f_.Walk(1), (std::vector<std::string>{"eve", "dan", "bob", "fay", "ann", "cy"}));

  // A unique integer key under the number the key specification gives,
  // which must be the next one.
  EXPECT_EQ(CreateIndex(f_, KeySpec(kCode, 5), static_cast<int8_t>(B_INDEX_NUMBER_GIVEN)), B_INVALID_KEYNUMBER);
  ASSERT_EQ(CreateIndex(f_, KeySpec(kCode, 2), static_cast<int8_t>(B_INDEX_NUMBER_GIVEN)), 0);
  EXPECT_EQ(f_.Walk(2), (std::vector<std::string>{"bob", "eve", "dan", "ann", "cy", "fay"}));
  EXPECT_EQ(f_.Insert(Rec("gus", "kiev", 30)), B_DUPLICATE_KEY_VALUE);

  // Another block, and the file opened afresh, read by the new keys.
  ASSERT_EQ(f_.Close(), 0);
  EXPECT_TRUE(Problems().empty());
  BtrFile g(kLen);
  ASSERT_EQ(g.Open(path_), 0);
  EXPECT_EQ(Keys(g), 3);
  EXPECT_EQ(g.Walk(2).size(), 6u);
  EXPECT_EQ(g.Walk(1).front(), "eve");
}

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

TEST_F(IndexTest, AUniqueKeyOverSharedValuesGives5AndChangesNothing) {
  Seg uniqueCity = kCity;
  uniqueCity.flags = 0;
  EXPECT_EQ(CreateIndex(f_, KeySpec(uniqueCity)), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(Keys(f_), 1);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 1), B_INVALID_KEYNUMBER);
  EXPECT_EQ(f_.Insert(Rec("fay", "oslo", 60)), 0);
  // Nothing of the refused key stayed behind: the same key with
  // duplicates goes in.
  ASSERT_EQ(CreateIndex(f_, KeySpec(kCity)), 0);
  EXPECT_EQ(f_.Walk(1).size(), 6u);
  // Key specifications the file cannot take.
  Seg outside = kCode;
  outside.position = kLen - 1;
  EXPECT_EQ(CreateIndex(f_, KeySpec(outside)), B_INVALID_KEY_POSITION);
  EXPECT_EQ(CreateIndex(f_, KeySpec(kCity).substr(0, 10)), B_DATALENGTH_ERROR);
  Seg collated = kCity;
  collated.flags |= B_KEY_ALT_COLLATION;
  EXPECT_EQ(CreateIndex(f_, KeySpec(collated)), B_INVALID_ACS) << "no sequence given, none in the file";
  EXPECT_EQ(Keys(f_), 2);
}

TEST_F(IndexTest, ACollatingSequenceComesWithTheKey) {
  Seg collated = kCity;
  collated.flags |= B_KEY_ALT_COLLATION;
  BtrAltCollation acs{};
  acs.signature = 0xAC;
  std::memcpy(acs.name, "BACKWARD", 8);
  for (int c = 0; c < 256; ++c) acs.table[c] = static_cast<uint8_t>(255 - c);
  ASSERT_EQ(CreateIndex(f_, KeySpec(collated) + std::string(reinterpret_cast<const char*>(&acs), sizeof acs)), 0);
  EXPECT_EQ(f_.Walk(1), (std::vector<std::string>{"ann", "cy", "bob", "eve", "dan"}));
  // A second such key without a sequence of its own uses the file's first.
  ASSERT_EQ(CreateIndex(f_, KeySpec(collated)), 0);
  EXPECT_EQ(f_.Walk(2), f_.Walk(1));
  ASSERT_EQ(f_.Close(), 0);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(IndexTest, DropIndexMovesTheKeysAfterItDown) {
  ASSERT_EQ(CreateIndex(f_, KeySpec(kCity)), 0);
  ASSERT_EQ(CreateIndex(f_, KeySpec(kCode)), 0);
  // The block stands on the code key; it stays there under its new number.
  ASSERT_EQ(f_.Get(B_GET_FIRST, 2), 0);
  ASSERT_EQ(f_.Call(B_DROP_INDEX, 1), 0);
  EXPECT_EQ(Keys(f_), 2);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 1), 0);
  EXPECT_EQ(f_.Field(0), "eve");
  EXPECT_EQ(f_.Get(B_GET_FIRST, 2), B_INVALID_KEYNUMBER);
  const int32_t code = 30;
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 1, std::string(reinterpret_cast<const char*>(&code), 4)), 0);
  EXPECT_EQ(f_.Field(0), "dan");
  ASSERT_EQ(f_.Insert(Rec("fay", "oslo", 15)), 0);
  EXPECT_EQ(f_.Walk(1), (std::vector<std::string>{"bob", "fay", "eve", "dan", "ann", "cy"}));

  // Keeping the other keys' numbers leaves no gap only for the last key.
  EXPECT_EQ(f_.Call(B_DROP_INDEX, static_cast<int8_t>(B_INDEX_NUMBER_GIVEN)), B_INVALID_KEYNUMBER);
  EXPECT_EQ(f_.Call(B_DROP_INDEX, 2), B_INVALID_KEYNUMBER);
  // The block's place on a key dropped goes with it, and the key after it
  // takes the number without a place of the block's.
  ASSERT_EQ(f_.Get(B_GET_FIRST, 0), 0);
  ASSERT_EQ(f_.Call(B_DROP_INDEX, 0), 0);
  EXPECT_EQ(f_.Get(B_GET_NEXT, 0), B_POSITION_NOT_SET);
  EXPECT_EQ(f_.Walk(0), (std::vector<std::string>{"bob", "fay", "eve", "dan", "ann", "cy"}));
  // The last key gone: a file of records reached by position.
  ASSERT_EQ(f_.Call(B_DROP_INDEX, static_cast<int8_t>(B_INDEX_NUMBER_GIVEN)), 0);
  EXPECT_EQ(Keys(f_), 0);
  EXPECT_EQ(f_.Insert(Rec("gus", "kiev", 70)), 0);
  EXPECT_EQ(f_.Step(B_STEP_FIRST), 0);
  EXPECT_EQ(f_.Field(0), "ann");
  ASSERT_EQ(CreateIndex(f_, KeySpec({1, 8, B_KEY_DUPLICATES})), 0);
  EXPECT_EQ(f_.Walk(0), (std::vector<std::string>{"ann", "bob", "cy", "dan", "eve", "fay", "gus"}));
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

TEST_F(IndexTest, RefusedUnlessTheBlockHasTheFileToItself) {
  const std::string spec = KeySpec(kCity);
  BtrFile g(kLen);
  ASSERT_EQ(g.Open(path_), 0);
  EXPECT_EQ(CreateIndex(f_, spec), B_INCOMPATIBLE_MODE) << "another block of this process";
  EXPECT_EQ(g.Call(B_DROP_INDEX, 0), B_INCOMPATIBLE_MODE);
  ASSERT_EQ(g.Close(), 0);
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
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(CreateIndex(f_, spec), B_CLOSE_IN_TRANSACTION);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  ASSERT_EQ(g.Open(path_, B_MODE_READ_ONLY), 0);
  ASSERT_EQ(f_.Close(), 0);
  EXPECT_EQ(CreateIndex(g, spec), B_ACCESS_DENIED);
  ASSERT_EQ(g.Close(), 0);
  // Alone again, and while it changes the keys nobody opens the file.
  ASSERT_EQ(f_.Open(path_), 0);
  ASSERT_EQ(CreateIndex(f_, spec), 0);
  ASSERT_EQ(g.Open(path_), 0);
  EXPECT_EQ(Keys(g), 2);
}

}  // namespace
}  // namespace reclink::test
