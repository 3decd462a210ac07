// Statuses in the situations that produce them, and arguments that a careless
// or hostile caller passes: a status every time, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "support/btr_file.h"
#include "support/os_files.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint16_t kLen = 32;

// code: zstring 8 at 0 (key 0, unique); note: string 4 at 8 (key 1, dups).
std::vector<uint8_t> SmallSpec() { return MakeSpec(kLen, 2, {{1, 8, 0}, {9, 4, B_KEY_DUPLICATES, B_TYPE_STRING}}); }
std::string Rec(const std::string& code) { return MakeRecord(kLen, {{0, code}, {8, "nnnn"}}); }

class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("small.dat");
    ASSERT_EQ(CreateFile(path_, SmallSpec()), 0);
    ASSERT_EQ(f_.Open(path_), 0);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Insert(Rec("one")), 0);
  }
  void TearDown() override {
    Tx(B_ABORT_TRAN);
    f_.Close();
  }
  TempDir dir_;
  std::string path_;
  BtrFile f_, g_;
};

TEST_F(StatusTest, EachStatusInItsSituation) {
  std::ofstream(dir_.file("text.dat")) << "just some text, not a record file at all\n";
  std::ofstream(dir_.file("empty.dat")).flush();
  const Fifo fifo(dir_.path());
  ASSERT_FALSE(fifo.path().empty());
  uint32_t len = 0;
  char version[15];
  struct Case {
    const char* what;
    std::function<int()> run;
    int status;
  };
  const Case cases[] = {
      {"unknown operation", [&] { return BTRCALL(99, f_.pos, nullptr, &len, nullptr, 0, 0); }, B_INVALID_FUNCTION},
      {"key-only bias on a write", [&] { return f_.Call(static_cast<uint16_t>(B_GET_KEY) + B_INSERT, 0); }, B_INVALID_FUNCTION},
      {"unknown bias", [&] { return f_.Call(500 + B_GET_FIRST, 0); }, B_INVALID_FUNCTION},
      {"lock bias on a read", [&] { return f_.Call(static_cast<uint16_t>(B_SINGLE_NOWAIT_LOCK) + B_GET_FIRST, 0); }, 0},
      {"duplicate", [&] { return f_.Insert(MakeRecord(kLen, {{0, "one"}, {8, "mmmm"}})); }, B_DUPLICATE_KEY_VALUE},
      {"short record", [&] { return f_.Insert(MakeRecord(kLen - 1, {{0, "two"}})); }, B_DATALENGTH_ERROR},
      {"insert two", [&] { return f_.Insert(Rec("two")); }, 0},
      {"update onto a duplicate", [&] { return f_.Update(Rec("one")); }, B_MODIFIABLE_KEYVALUE_ERROR},
      {"key number too high", [&] { return f_.Get(B_GET_FIRST, 2); }, B_INVALID_KEYNUMBER},
      {"key number negative", [&] { return f_.Get(B_GET_FIRST, -1); }, B_INVALID_KEYNUMBER},
      {"insert on a key that is not there", [&] { return f_.Insert(Rec("three"), 5); }, B_INVALID_KEYNUMBER},
      {"key buffer shorter than key 0", [&] { f_.keyLen = 7; return f_.Get(B_GET_FIRST, 0); }, B_KEY_BUFFER_TOO_SHORT},
      {"key buffer fits key 1", [&] { f_.keyLen = 4; return f_.Get(B_GET_FIRST, 1); }, 0},
      {"read into a short buffer", [&] { f_.keyLen = 255; f_.recordLength = kLen - 1; return f_.Get(B_GET_LAST, 0); }, B_DATALENGTH_ERROR},
      {"version into 4 bytes", [&] { len = 4; return BTRCALL(B_VERSION, nullptr, version, &len, nullptr, 0, 0); }, B_DATALENGTH_ERROR},
      {"version into 5 bytes", [&] { len = 5; return BTRCALL(B_VERSION, nullptr, version, &len, nullptr, 0, 0); }, 0},
      {"version into 15 bytes: the engine twice, no server", [&] {
         len = 15;
         const int st = BTRCALL(B_VERSION, nullptr, version, &len, nullptr, 0, 0);
         const bool blocks = len == 15 && std::memcmp(version, version + 5, 5) == 0 &&
                             std::string(version + 10, 5) == std::string(5, '\0') && version[4] != 0;
         return blocks ? st : -1;
       }, 0},
      {"empty name", [&] { return g_.Open(""); }, B_FILENAME_BAD},
      {"missing file", [&] { return g_.Open(dir_.file("missing.dat")); }, B_FILE_NOT_FOUND},
      {"missing directory", [&] { return g_.Open(dir_.file("nodir/x.dat")); }, B_FILE_NOT_FOUND},
      {"a directory", [&] { return g_.Open(dir_.path()); }, B_FILE_NOT_FOUND},
      {"a FIFO, without hanging", [&] { return g_.Open(fifo.path()); }, B_FILE_NOT_FOUND},
      {"open mode 7", [&] { return g_.Open(path_, 7); }, B_INVALID_KEYNUMBER},
      // A server knows only its own files: what else lies in the directory
      // is no file of its.
      {"text file", [&] { return g_.Open(dir_.file("text.dat")); }, OnServer() ? B_FILE_NOT_FOUND : B_NOT_A_BTRIEVE_FILE},
      {"empty file", [&] { return g_.Open(dir_.file("empty.dat")); }, OnServer() ? B_FILE_NOT_FOUND : B_NOT_A_BTRIEVE_FILE},
      {"backslashed name", [&] { return g_.Open(dir_.path() + "\\.\\small.dat"); }, 0},
      {"close", [&] { return g_.Close(); }, 0},
      {"close again", [&] { return g_.Close(); }, B_FILE_NOT_OPEN},
      {"read-only open", [&] { return g_.Open(path_, B_MODE_READ_ONLY); }, 0},
      {"write through it", [&] { return g_.Insert(Rec("ro")); }, B_ACCESS_DENIED},
      {"exclusive beside a normal open", [&] { g_.Close(); return g_.Open(path_, B_MODE_EXCLUSIVE); }, B_INCOMPATIBLE_MODE},
      {"exclusive alone", [&] { f_.Close(); return g_.Open(path_, B_MODE_EXCLUSIVE); }, 0},
      {"normal beside exclusive", [&] { return f_.Open(path_); }, B_FILE_INUSE},
      {"existing file, create refused", [&] { return CreateFile(path_, SmallSpec(), -1); }, B_FILE_ALREADY_EXISTS},
      {"replace an open file", [&] { return CreateFile(path_, SmallSpec()); }, B_FILE_INUSE},
      {"reopen", [&] { g_.Close(); f_.recordLength = kLen; return f_.Open(path_); }, 0},
      {"end without begin", [&] { return Tx(B_END_TRAN); }, B_NO_TRANSACTION},
      {"abort without begin", [&] { return Tx(B_ABORT_TRAN); }, B_NO_TRANSACTION},
      {"begin", [&] { return Tx(B_BEGIN_TRAN); }, 0},
      {"begin twice", [&] { return Tx(B_BEGIN_TRAN); }, B_TRANSACTION_IS_ACTIVE},
      {"write in it", [&] { return f_.Insert(Rec("t")); }, 0},
      {"close a touched file", [&] { return f_.Close(); }, B_CLOSE_IN_TRANSACTION},
      {"abort", [&] { return Tx(B_ABORT_TRAN); }, 0},
      {"the aborted write", [&] { return f_.Get(B_GET_EQUAL, 0, "t"); }, B_KEY_VALUE_NOT_FOUND},
      {"reset", [&] { return Tx(B_RESET); }, 0},
      {"read after reset", [&] { return f_.Get(B_GET_FIRST, 0); }, B_FILE_NOT_OPEN},
      {"stop", [&] { f_.Open(path_); return Tx(B_STOP); }, 0},
      {"read after stop", [&] { return f_.Get(B_GET_FIRST, 0); }, B_FILE_NOT_OPEN},
  };
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.status) << c.what;
}

TEST_F(StatusTest, HostileArgumentsGetStatuses) {
  char buf[64], key[255] = {};
  uint32_t len = kLen;
  for (uint16_t op : {B_GET_FIRST, B_GET_EQUAL, B_GET_NEXT, B_INSERT, B_UPDATE, B_STAT, B_GET_POSITION,
                      B_GET_DIRECT, B_STEP_FIRST, B_CREATE, B_OPEN, B_CLOSE}) {
    EXPECT_NE(BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0), 0) << op;
    EXPECT_NE(op == B_CLOSE ? -1 : BTRCALL(op, f_.pos, nullptr, nullptr, nullptr, 0, 0), 0) << op;
  }
  EXPECT_EQ(BTRCALL(B_GET_FIRST, f_.pos, buf, nullptr, key, 255, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, f_.pos, buf, &len, nullptr, 255, 0), B_KEY_BUFFER_TOO_SHORT);
  // Zeroed, garbage, copied and stale position blocks.
  char zero[128] = {}, garbage[128], copy[128];
  for (int i = 0; i < 128; ++i) garbage[i] = static_cast<char>(i * 37 + 11);
  std::memcpy(copy, f_.pos, sizeof copy);
  for (char* block : {zero, garbage, copy}) {
    EXPECT_EQ(BTRCALL(B_GET_FIRST, block, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
  }
  ASSERT_EQ(f_.Close(), 0);
  ASSERT_EQ(f_.Open(path_), 0);
  // The stale block back in the very place a newer open now uses.
  std::swap(copy, f_.pos);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_FILE_NOT_OPEN) << "stale";
  std::swap(copy, f_.pos);
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "one"), 0);
}

// A file scribbled over or cut short while open: statuses, never a crash.
TEST_F(StatusTest, FileScribbledOverWhileOpen) {
  for (int i = 0; i < 300; ++i) ASSERT_EQ(f_.Insert(Rec("k" + std::to_string(i))), 0);
  ASSERT_EQ(f_.Close(), 0);
  ASSERT_EQ(f_.Open(path_), 0);
  ASSERT_EQ(f_.Get(B_GET_FIRST, 0), 0);
  std::error_code refused;  // 64-bit Windows cuts no file the engine has mapped
  std::filesystem::resize_file(path_, 5000, refused);
  for (uint16_t op : {B_GET_LAST, B_GET_NEXT, B_STEP_LAST, B_GET_FIRST, B_INSERT}) {
    const int st = op == B_INSERT ? f_.Insert(Rec("late")) : f_.Get(op, 0);
    EXPECT_TRUE(st == B_IO_ERROR || st == 0 || st == B_END_OF_FILE) << op << " gave " << st;
  }
  EXPECT_EQ(f_.Close(), 0);
  std::fstream(path_, std::ios::in | std::ios::out | std::ios::binary).write(std::string(4096, 'Z').data(), 4096);
  const int st = g_.Open(path_);
  EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << st;
}

}  // namespace
}  // namespace reclink::test
