// Owner names: a file with an owner opens only with the owner's name, or
// for reading only without it where the owner allows that.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 16;

class OwnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
    f_.recordLength = kLen;
  }
  void TearDown() override { Tx(B_RESET); }

  // Open with owner name (none: an empty data buffer).
  int OpenAs(BtrFile& f, const std::string& name) {
    f.Close();
    std::memset(f.keyBuf, 0, sizeof f.keyBuf);
    std::strncpy(f.keyBuf, path_.c_str(), sizeof f.keyBuf - 1);
    return f.Write(B_OPEN, name.empty() ? name : name + '\0', 0);
  }
  // Set Owner with name in the data buffer and key in the key buffer.
  int SetOwner(BtrFile& f, const std::string& name, int8_t access, const std::string& key) {
    std::memset(f.keyBuf, 0, sizeof f.keyBuf);
    std::memcpy(f.keyBuf, key.data(), key.size());
    return f.Write(B_SET_OWNER, name + '\0', access);
  }
  int Insert(BtrFile& f, const std::string& name) { return f.Insert(MakeRecord(kLen, {{0, name}})); }

  TempDir dir_;
  const std::string path_ = dir_.file("owned.dat");
  BtrFile f_;
};

TEST_F(OwnerTest, TheNameOpensTheFileAndClearOwnerTakesItAway) {
  ASSERT_EQ(OpenAs(f_, ""), 0);
  ASSERT_EQ(SetOwner(f_, "secret", 0, "secret"), 0);
  EXPECT_EQ(SetOwner(f_, "other", 0, "other"), B_OWNER_ALREADY_SET);
  EXPECT_EQ(Insert(f_, "kept"), 0) << "the block that set it keeps its access";

  BtrFile g(kLen);
  EXPECT_EQ(OpenAs(g, ""), B_INVALID_OWNER);
  EXPECT_EQ(OpenAs(g, "Secret"), B_INVALID_OWNER) << "names compare exactly";
  ASSERT_EQ(OpenAs(g, "secret"), 0);
  EXPECT_EQ(Insert(g, "more"), 0);
  ASSERT_EQ(g.Call(B_CLEAR_OWNER, 0), 0);
  EXPECT_EQ(OpenAs(g, ""), 0) << "no owner any more";
  EXPECT_EQ(g.Walk(0), (std::vector<std::string>{"kept", "more"}));
}

TEST_F(OwnerTest, ReadingWithoutTheNameWhereTheOwnerAllowsIt) {
  ASSERT_EQ(OpenAs(f_, ""), 0);
  ASSERT_EQ(Insert(f_, "one"), 0);
  ASSERT_EQ(SetOwner(f_, "reader", 1, "reader"), 0);
  BtrFile g(kLen);
  ASSERT_EQ(OpenAs(g, ""), 0);
  EXPECT_EQ(g.Walk(0), std::vector<std::string>{"one"});
  EXPECT_EQ(Insert(g, "two"), B_ACCESS_DENIED);
  EXPECT_EQ(g.Call(B_CLEAR_OWNER, 0), B_ACCESS_DENIED);
  EXPECT_EQ(OpenAs(g, "wrong"), B_INVALID_OWNER) << "a wrong name is no name";
  ASSERT_EQ(OpenAs(g, "reader"), 0);
  EXPECT_EQ(Insert(g, "two"), 0);

  // A Create that replaces the file makes one without an owner.
  ASSERT_EQ(f_.Close(), 0);
  ASSERT_EQ(g.Close(), 0);
  ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 1, {{1, 8, 0}})), 0);
  EXPECT_EQ(OpenAs(g, ""), 0);
  EXPECT_EQ(Insert(g, "new"), 0);
}

TEST_F(OwnerTest, RefusalsLeaveTheFileWithoutOwner) {
  ASSERT_EQ(OpenAs(f_, ""), 0);
  BtrFile reader(kLen);
  ASSERT_EQ(reader.Open(path_, B_MODE_READ_ONLY), 0);
  struct Case {
    const char* label;
    int status;
    int expected;
  };
  const Case cases[] = {
      {"names that differ", SetOwner(f_, "one", 0, "two"), B_INVALID_OWNER},
      {"no name", SetOwner(f_, "", 0, ""), B_INVALID_OWNER},
      {"a name of nine characters", SetOwner(f_, "ninechars", 0, "ninechars"), B_INVALID_OWNER},
      {"encrypted", SetOwner(f_, "crypt", 2, "crypt"), B_INVALID_KEYNUMBER},
      {"a read-only block", SetOwner(reader, "mine", 0, "mine"), B_ACCESS_DENIED},
  };
  for (const Case& c : cases) EXPECT_EQ(c.status, c.expected) << c.label;
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  EXPECT_EQ(SetOwner(f_, "mine", 0, "mine"), B_CLOSE_IN_TRANSACTION);
  ASSERT_EQ(Tx(B_ABORT_TRAN), 0);
  BtrFile g(kLen);
  EXPECT_EQ(OpenAs(g, ""), 0);
}

}  // namespace
}  // namespace reclink::test
