// Statuses in the situations that produce them, and arguments that a careless
// or hostile caller passes: a status every time, never a crash.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "recman_fixture.h"

namespace recman_test {
namespace {

constexpr uint16_t kLen = 32;

// code: zstring 8 at 0 (key 0, unique); note: string 4 at 8 (key 1, dups).
std::vector<uint8_t> SmallSpec() {
  return MakeSpec(kLen, 2, {{1, 8, 0}, {9, 4, B_KEY_DUPLICATES, B_TYPE_STRING}});
}

class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("small.dat");
    ASSERT_EQ(CreateFile(path_, SmallSpec()), 0);
    ASSERT_EQ(f_.Open(path_), 0);
    f_.recordLength = kLen;
  }
  void TearDown() override { f_.Close(); }

  reclink::test::TempDir dir_;
  std::string path_;
  BtrFile f_;
};

TEST_F(StatusTest, WritesReportDuplicatesAndShortBuffers) {
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "one"}, {8, "nnnn"}})), 0);
  EXPECT_EQ(f_.Insert(MakeRecord(kLen, {{0, "one"}, {8, "mmmm"}})), B_DUPLICATE_KEY_VALUE);
  // Bytes behind a zstring's terminator do not make it another value.
  EXPECT_EQ(f_.Insert(MakeRecord(kLen, {{0, std::string("one\0zz", 6)}})), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(f_.Insert(MakeRecord(kLen - 1, {{0, "two"}})), B_DATALENGTH_ERROR);
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "two"}, {8, "nnnn"}})), 0);
  // Duplicate by Update, and the record is left as it was.
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "two"), 0);
  EXPECT_EQ(f_.Update(MakeRecord(kLen, {{0, "one"}})), B_MODIFIABLE_KEYVALUE_ERROR);

  // Reads into a buffer shorter than the record: 22, nothing copied.
  f_.data[0] = 'X';
  f_.recordLength = kLen - 1;
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(f_.data[0], 'X');
  f_.recordLength = kLen;

  // A key buffer shorter than the key of the path.
  f_.keyLen = 7;
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_KEY_BUFFER_TOO_SHORT);
  f_.keyLen = 4;
  EXPECT_EQ(f_.Get(B_GET_FIRST, 1), 0);
  f_.keyLen = 255;
  EXPECT_EQ(f_.Get(B_GET_FIRST, 2), B_INVALID_KEYNUMBER);
  EXPECT_EQ(f_.Get(B_GET_FIRST, -1), B_INVALID_KEYNUMBER);
  EXPECT_EQ(f_.Insert(MakeRecord(kLen, {{0, "three"}}), 5), B_INVALID_KEYNUMBER);
}

TEST_F(StatusTest, InsertWithoutCurrencyChangeLeavesKeyBufferAndPath) {
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "b"}})), 0);
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "d"}})), 0);
  ASSERT_EQ(f_.Get(B_GET_EQUAL, 0, "b"), 0);
  std::memcpy(f_.keyBuf, "keep", 5);
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "c"}}), -1), 0);
  EXPECT_STREQ(f_.keyBuf, "keep");
  std::memcpy(f_.keyBuf, "b", 2);
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "c");
  // A normal Insert sets currency and returns the key.
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "a"}})), 0);
  EXPECT_STREQ(f_.keyBuf, "a");
  ASSERT_EQ(f_.Get(B_GET_NEXT, 0), 0);
  EXPECT_EQ(f_.Field(0), "b");
}

TEST_F(StatusTest, OpenReportsNamesModesAndForeignFiles) {
  BtrFile g;
  EXPECT_EQ(g.Open(""), B_FILENAME_BAD);
  EXPECT_EQ(g.Open(dir_.file("missing.dat")), B_FILE_NOT_FOUND);
  EXPECT_EQ(g.Open(dir_.file("nodir/missing.dat")), B_FILE_NOT_FOUND);
  EXPECT_EQ(g.Open(path_, 7), B_INVALID_KEYNUMBER);
  {
    std::ofstream(dir_.file("text.dat")) << "just some text, not a record file at all\n";
    std::ofstream(dir_.file("empty.dat"));
  }
  EXPECT_EQ(g.Open(dir_.file("text.dat")), B_NOT_A_BTRIEVE_FILE);
  EXPECT_EQ(g.Open(dir_.file("empty.dat")), B_NOT_A_BTRIEVE_FILE);
  EXPECT_EQ(g.Open(dir_.path()), B_FILE_NOT_FOUND);
  ASSERT_EQ(mkfifo(dir_.file("fifo.dat").c_str(), 0600), 0);
  EXPECT_EQ(g.Open(dir_.file("fifo.dat")), B_FILE_NOT_FOUND) << "a FIFO must not hang Open";

  // Backslashes name the same file, and so does any other spelling.
  std::string windows = dir_.path() + "\\.\\small.dat";
  ASSERT_EQ(g.Open(windows), 0);
  EXPECT_EQ(g.Close(), 0);
  EXPECT_EQ(g.Close(), B_FILE_NOT_OPEN);

  // Read-only blocks cannot write; exclusive opens exclude.
  ASSERT_EQ(g.Open(path_, B_MODE_READ_ONLY), 0);
  EXPECT_EQ(g.Insert(MakeRecord(kLen, {{0, "ro"}})), B_ACCESS_DENIED);
  EXPECT_EQ(g.Close(), 0);
  EXPECT_EQ(g.Open(path_, B_MODE_EXCLUSIVE), B_INCOMPATIBLE_MODE);
  ASSERT_EQ(f_.Close(), 0);
  ASSERT_EQ(g.Open(path_, B_MODE_EXCLUSIVE), 0);
  EXPECT_EQ(f_.Open(path_), B_FILE_INUSE);
  EXPECT_EQ(g.Close(), 0);
  EXPECT_EQ(f_.Open(path_), 0);
}

TEST_F(StatusTest, OperationCodesAndTransactionsOutOfOrder) {
  uint32_t len = 0;
  EXPECT_EQ(BTRCALL(99, f_.pos, nullptr, &len, nullptr, 0, 0), B_INVALID_FUNCTION);
  EXPECT_EQ(BTRCALL(static_cast<uint16_t>(B_GET_KEY) + B_INSERT, f_.pos, nullptr, &len, nullptr, 0, 0), B_INVALID_FUNCTION);
  EXPECT_EQ(BTRCALL(500 + B_GET_FIRST, f_.pos, nullptr, &len, nullptr, 0, 0), B_INVALID_FUNCTION);
  EXPECT_EQ(BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), B_NO_TRANSACTION);
  EXPECT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), B_NO_TRANSACTION);
  ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), B_TRANSACTION_IS_ACTIVE);
  // A file the transaction has touched cannot close until it ends.
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "t"}})), 0);
  EXPECT_EQ(f_.Close(), B_CLOSE_IN_TRANSACTION);
  ASSERT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "t"), B_KEY_VALUE_NOT_FOUND);

  // Lock biases are accepted on reads.
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "u"}})), 0);
  EXPECT_EQ(f_.Get(static_cast<uint16_t>(B_SINGLE_NOWAIT_LOCK) + B_GET_FIRST, 0), 0);

  // Version: one 5-byte block; shorter buffers are refused.
  char version[5];
  len = 5;
  EXPECT_EQ(BTRCALL(B_VERSION, nullptr, version, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(len, 5u);
  len = 4;
  EXPECT_EQ(BTRCALL(B_VERSION, nullptr, version, &len, nullptr, 0, 0), B_DATALENGTH_ERROR);

  // Reset closes every file of the client and forgets its currency.
  ASSERT_EQ(BTRCALL(B_RESET, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_FILE_NOT_OPEN);
  ASSERT_EQ(f_.Open(path_), 0);
  EXPECT_EQ(BTRCALL(B_STOP, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(f_.Get(B_GET_FIRST, 0), B_FILE_NOT_OPEN);
  ASSERT_EQ(f_.Open(path_), 0);
}

TEST_F(StatusTest, BadArgumentsGetStatusesNotCrashes) {
  ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "r"}})), 0);
  uint32_t len = kLen;
  char buf[64];
  char key[255] = {};
  // Null pointers everywhere.
  for (uint16_t op : {B_GET_FIRST, B_GET_EQUAL, B_GET_NEXT, B_INSERT, B_UPDATE, B_STAT,
                      B_GET_POSITION, B_GET_DIRECT, B_STEP_FIRST, B_CREATE, B_OPEN, B_CLOSE}) {
    SCOPED_TRACE(op);
    EXPECT_NE(BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
    if (op != B_CLOSE) {
      EXPECT_NE(BTRCALL(op, f_.pos, nullptr, nullptr, nullptr, 0, 0), 0);
    }
  }
  EXPECT_EQ(f_.Get(B_GET_EQUAL, 0, "r"), 0);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, f_.pos, buf, nullptr, key, 255, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, f_.pos, buf, &len, nullptr, 255, 0), B_KEY_BUFFER_TOO_SHORT);

  // Zeroed, garbage, copied and stale position blocks.
  char zero[128] = {};
  EXPECT_EQ(BTRCALL(B_GET_FIRST, zero, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
  char garbage[128];
  for (int i = 0; i < 128; ++i) garbage[i] = static_cast<char>(i * 37 + 11);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, garbage, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
  char copy[128];
  std::memcpy(copy, f_.pos, sizeof copy);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, copy, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
  char stale[128];
  std::memcpy(stale, f_.pos, sizeof stale);
  ASSERT_EQ(f_.Close(), 0);
  ASSERT_EQ(f_.Open(path_), 0);
  std::memcpy(f_.pos, stale, sizeof stale);
  EXPECT_EQ(BTRCALL(B_GET_FIRST, f_.pos, buf, &len, key, 255, 0), B_FILE_NOT_OPEN);
}

TEST_F(StatusTest, FileChangedUnderneathGivesIoErrorNotCrash) {
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(f_.Insert(MakeRecord(kLen, {{0, "k" + std::to_string(i)}})), 0);
  }
  ASSERT_EQ(f_.Get(B_GET_FIRST, 0), 0);
  {
    // Another program scribbles over the file while it is open.
    std::fstream out(path_, std::ios::in | std::ios::out | std::ios::binary);
    std::string junk(8192, '\x5a');
    out.seekp(0);
    out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  // Everything after that reports a status; Close still works.
  for (uint16_t op : {B_GET_NEXT, B_GET_LAST, B_STEP_FIRST}) {
    const int st = f_.Get(op, 0);
    EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE || st == 0) << op << " gave " << st;
  }
  EXPECT_EQ(f_.Close(), 0);
  BtrFile g;
  const int st = g.Open(path_);
  EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << st;

  // A sound file cut short while open: reads and writes report, nothing
  // crashes, and the cut file is refused at Open.
  const std::string cut = dir_.file("cut.dat");
  ASSERT_EQ(CreateFile(cut, SmallSpec()), 0);
  BtrFile h;
  h.recordLength = kLen;
  ASSERT_EQ(h.Open(cut), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(h.Insert(MakeRecord(kLen, {{0, "c" + std::to_string(i)}})), 0);
  ASSERT_EQ(h.Close(), 0);  // the last close folds the log into the file
  ASSERT_EQ(h.Open(cut), 0);
  ASSERT_EQ(h.Get(B_GET_FIRST, 0), 0);
  ASSERT_EQ(truncate(cut.c_str(), 5000), 0);
  for (uint16_t op : {B_GET_LAST, B_GET_NEXT, B_STEP_LAST, B_GET_FIRST}) {
    const int s = h.Get(op, 0);
    EXPECT_TRUE(s == B_IO_ERROR || s == 0 || s == B_END_OF_FILE) << op << " gave " << s;
  }
  const int ins = h.Insert(MakeRecord(kLen, {{0, "late"}}));
  EXPECT_TRUE(ins == B_IO_ERROR || ins == 0) << ins;
  EXPECT_EQ(h.Close(), 0);
  const int reopen = g.Open(cut);
  EXPECT_TRUE(reopen == B_IO_ERROR || reopen == B_NOT_A_BTRIEVE_FILE || reopen == 0) << reopen;
  g.Close();
}

}  // namespace
}  // namespace recman_test
