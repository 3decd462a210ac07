// The gate and the operations on it, with the test playing the record manager
// for the statuses a real file does not easily give.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "core/core_test_util.h"
#include "platform/winapi.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

int Succeed(const RawCall&) { return 0; }

TEST(Gate, PassesTheObjectsFieldsWithKeyLength255AndTheLowKeyByte) {
  FakeManager manager(Succeed);
  char block[128] = {};
  TestRecord rec("TEST_DB", "/x/TEST.BTR");
  CBaseRecLink external(block, "/x/TEST.BTR"), nullBlock(static_cast<char*>(nullptr));
  rec.SetKeyLength(10);
  EXPECT_EQ(rec.SetKey(0x1FF), 0x1FF);
  EXPECT_EQ(rec.SetKey(65537), 1);
  EXPECT_EQ(rec.SetKey(0x8000 | 0x1FF), -32257);  // 16 bits kept, sign-extended
  rec.AbortTran();
  external.AbortTran();
  nullBlock.AbortTran();
  CBaseRecLink copy(rec);
  copy.AbortTran();

  const RawCall& call = manager.calls[0];
  EXPECT_EQ(call.data, rec.record());
  EXPECT_EQ(call.key, rec.GetKeyBuffer());
  EXPECT_EQ(call.keyLen, 255);
  EXPECT_EQ(call.keyNum, -1);
  EXPECT_EQ(manager.calls[1].posBlock, block);
  EXPECT_NE(manager.calls[2].posBlock, nullptr);
  EXPECT_EQ(manager.calls[3].posBlock, call.posBlock);  // a copy shares the block
  EXPECT_EQ(manager.calls[3].data, rec.record());

  std::string longKey(255, 'X');  // a shorter key clears what a longer one left
  rec.SetKeyBuffer(longKey.data(), 255);
  rec.SetKeyBuffer(longKey.data(), 4);
  EXPECT_EQ(std::string(rec.GetKeyBuffer(), 255), "XXXX" + std::string(251, '\0'));
}

// Label of each operation's box and the statuses it keeps quiet besides 0.
struct OperationCase {
  const char* label;
  int (CBaseRecLink::*run)();
  uint16_t op;
  std::vector<int> silent;
};

TEST(Gate, EachOperationBoxesAllButItsSilentStatuses) {
  const OperationCase cases[] = {
      {"BO_GETEQ", &CBaseRecLink::GetEQ, B_GET_EQUAL, {4}},
      {"BO_GETNEXT", &CBaseRecLink::GetNEXT, B_GET_NEXT, {9}},
      {"BO_GETPREV", &CBaseRecLink::GetPREV, B_GET_PREVIOUS, {9}},
      {"BO_GETGREATER", &CBaseRecLink::GetGR, B_GET_GREATER, {9}},
      {"BO_GETGREQ", &CBaseRecLink::GetGREQ, B_GET_GE, {9}},
      {"BO_GETLESS", &CBaseRecLink::GetLESS, B_GET_LESS, {9}},
      {"BO_GETLESSEQ", &CBaseRecLink::GetLEEQ, B_GET_LE, {9}},
      {"BO_GETFIRST", &CBaseRecLink::GetFIRST, B_GET_FIRST, {9}},
      {"BO_GETLAST", &CBaseRecLink::GetLAST, B_GET_LAST, {9}},
      {"BO_INSERT", &CBaseRecLink::Insert, B_INSERT, {5}},
      {"BO_DELETE", &CBaseRecLink::Delete, B_DELETE, {9}},
      {"BO_UPDATE", &CBaseRecLink::Update, B_GET_EQUAL, {4, 9}},  // the re-read fails
      {"BO_UPDATE", &CBaseRecLink::Update, B_UPDATE, {4, 9}},      // the write fails
      {"BO_BEGINTRAN", &CBaseRecLink::BeginTran, B_BEGIN_TRAN, {}},
      {"BO_ENDTRAN", &CBaseRecLink::EndTran, B_END_TRAN, {}},
      {"", &CBaseRecLink::AbortTran, B_ABORT_TRAN, {1, 3, 4, 5, 9, 39, 80, 84, 85}},
      {"", &CBaseRecLink::ResetBtrv, B_RESET, {1, 3, 4, 5, 9, 39, 80, 84, 85}},
  };
  for (const OperationCase& c : cases) {
    for (int status : {1, 3, 4, 5, 9, 39, 80, 84, 85}) {
      SCOPED_TRACE(std::string(c.label) + " " + std::to_string(c.op) + " status " +
                   std::to_string(status));
      FakeManager manager([&](const RawCall& call) { return call.op == c.op ? status : 0; });
      MessageBoxRecorder boxes;
      TestRecord rec("TEST_DB", "/x/TEST.BTR");
      const bool silent = std::count(c.silent.begin(), c.silent.end(), status) > 0;
      const bool minusOne = c.op == B_BEGIN_TRAN || c.op == B_END_TRAN;
      EXPECT_EQ((rec.*c.run)(), minusOne ? -1 : status);
      EXPECT_EQ(rec.GetLastStatus(), status);
      ASSERT_EQ(boxes.count(), silent ? 0u : 1u);
      if (silent) continue;
      EXPECT_EQ(boxes.calls()[0].text, BoxText("TEST_DB", c.label, status));
      EXPECT_EQ(boxes.calls()[0].caption, std::string(AppTitle()));
      EXPECT_EQ(boxes.calls()[0].style, MB_OK);
    }
  }
}

TEST(Gate, AFailingGetPositionAfterAGetIsTheGetsFailure) {
  MessageBoxRecorder boxes;
  FakeManager manager([](const RawCall& call) { return call.op == B_GET_POSITION ? 8 : 0; });
  TestRecord rec("TEST_DB", "/x/TEST.BTR");
  rec.SetPosition(77);
  EXPECT_EQ(rec.GetLAST(), 8);
  EXPECT_EQ(rec.GetPosition(), 0u);
  EXPECT_EQ(rec.GetDataLength(), 3000u);  // restored after the 4-byte Get Position
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText("TEST_DB", "BO_GETLAST", 8));
}

TEST(Gate, StatBypassesTheGateDirectReadsNeedABufferStopResetsFirst) {
  TempDir dir;
  MessageBoxRecorder boxes;
  FakeManager manager([](const RawCall& call) {
    if (call.op == B_STAT) {
      EXPECT_EQ(*call.dataLen, 1920u);
    }
    *call.dataLen = call.op == B_STAT ? 500 : 16;
    return call.op == B_STAT ? 2 : 9;
  });
  TestRecord rec("TEST_DB", (dir.path() + "/TEST.BTR").c_str());
  rec.SetKey(5);
  EXPECT_EQ(rec.GetNEXT(), 9);
  FileDescriptionType info;
  EXPECT_EQ(rec.GetDBInfo(&info), 2);
  EXPECT_EQ(manager.calls.back().keyNum, 0);
  EXPECT_EQ(rec.GetDataLength(), 16u);  // as the Get left it, not as Stat did
  EXPECT_EQ(rec.IsEOF(), 1);
  EXPECT_FALSE(std::ifstream(dir.file("io_error.txt")).good());
  EXPECT_EQ(boxes.count(), 0u);

  rec.SetDataBuffer(nullptr);
  EXPECT_EQ(rec.GetByPosition(5), -1);
  EXPECT_EQ(manager.calls.size(), 2u);
  rec.Stop();
  EXPECT_EQ(manager.ops(), (std::vector<uint16_t>{B_GET_NEXT, B_STAT, B_RESET, B_STOP}));
}

class OpenTest : public ::testing::Test {
 protected:
  TempDir dir_;
  MessageBoxRecorder boxes_;
  std::string keyAtOpen_;
  FakeManager manager_{[this](const RawCall& call) {
    if (call.op != B_OPEN) return 0;
    keyAtOpen_ = call.key;
    std::memset(call.key, 'K', 255);  // the manager may write the key buffer
    return 0;
  }};
};

TEST_F(OpenTest, PassesShortPathAndModeAndRestoresTheKey) {
  const std::string path = dir_.file("TEST.BTR");
  std::ofstream(path) << "x";
  {
    TestRecord rec("TEST_DB", path.c_str());
    rec.SetKeyBuffer(const_cast<char*>("saved"), 5);
    rec.SetKey(3);
    EXPECT_EQ(rec.Open(BTR_OPEN_READONLY), 0);
    EXPECT_EQ(keyAtOpen_, path);  // an existing Linux path is its own short form
    EXPECT_EQ(manager_.calls[0].keyNum, B_MODE_READ_ONLY);
    EXPECT_EQ(rec.GetOpenMode(), BTR_OPEN_READONLY);
    EXPECT_EQ(rec.IsOpen(), 1);
    EXPECT_EQ(std::string(rec.GetKeyBuffer(), 255), "saved" + std::string(250, '\0'));
    EXPECT_EQ(rec.GetKeyNumber(), 3);
  }
  EXPECT_EQ(manager_.ops(), (std::vector<uint16_t>{B_OPEN, B_CLOSE}));  // closed on destruction
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(OpenTest, RefusesAShortPathTheKeyBufferCannotHold) {
  std::string path = dir_.path();
  while (path.size() < 240) {
    path += "/" + std::string(40, 'd');
    mkdir(path.c_str(), 0700);
  }
  path += "/" + std::string(30, 'f') + ".BTR";
  std::ofstream(path) << "x";
  TestRecord rec("TEST_DB", path.c_str());
  EXPECT_EQ(rec.Open(BTR_OPEN_NORMAL), -1);
  EXPECT_TRUE(manager_.calls.empty());
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, BoxText("TEST_DB", "BO_OPEN", B_FILENAME_BAD));
}

}  // namespace
}  // namespace reclink::test
