// The gate and the operations on it, with the test playing the record manager.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

#include "core/core_test_util.h"
#include "platform/winapi.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

constexpr char kIdent[] = "TEST_DB";

int Succeed(const RawCall&) { return 0; }

TEST(Gate, PassesFixedKeyLengthLowKeyByteAndTheObjectsBuffers) {
  FakeManager manager(Succeed);
  char block[CBaseRecLink::kPositionBlockSize] = {};
  TestRecord rec(kIdent, "/nowhere/TEST.BTR");
  rec.SetRecordSetBlock(block);
  rec.SetKeyLength(10);
  EXPECT_EQ(rec.SetKey(0x1FF), 0x1FF);
  rec.AbortTran();

  ASSERT_EQ(manager.calls().size(), 1u);
  const RawCall& call = manager.calls()[0];
  EXPECT_EQ(call.op, B_ABORT_TRAN);
  EXPECT_EQ(call.posBlock, block);
  EXPECT_EQ(call.data, rec.record());
  EXPECT_EQ(call.key, rec.GetKeyBuffer());
  EXPECT_EQ(call.keyLen, 255);  // whatever SetKeyLength recorded
  EXPECT_EQ(call.keyNum, -1);   // the low byte of 0x1FF
}

TEST(Gate, KeyNumberIsSixteenBits) {
  CBaseRecLink rec;
  EXPECT_EQ(rec.SetKey(1), 1);
  EXPECT_EQ(rec.SetKey(-1), -1);
  EXPECT_EQ(rec.SetKey(65537), 1);
  EXPECT_EQ(rec.GetKeyNumber(), 1);
  EXPECT_EQ(rec.SetKey(0x8000), -32768);
}

TEST(Gate, SetKeyBufferClearsWhatALongerKeyLeft) {
  CBaseRecLink rec;
  char longKey[255];
  std::memset(longKey, 'X', sizeof longKey);
  rec.SetKeyBuffer(longKey, sizeof longKey);
  rec.SetKeyBuffer(const_cast<char*>("ABCD"), 4);
  EXPECT_EQ(std::memcmp(rec.GetKeyBuffer(), "ABCD", 4), 0);
  for (int i = 4; i < 255; ++i) ASSERT_EQ(rec.GetKeyBuffer()[i], 0) << "byte " << i;
}

TEST(Gate, ConstructorsFallBackToTheOwnBlock) {
  FakeManager manager(Succeed);
  char block[CBaseRecLink::kPositionBlockSize];
  CBaseRecLink external(block, "/x/A.BTR");
  CBaseRecLink nullBlock(static_cast<char*>(nullptr), "/x/A.BTR");
  CBaseRecLink nullBlockOnly(static_cast<char*>(nullptr));
  external.ResetBtrv();
  nullBlock.ResetBtrv();
  nullBlockOnly.ResetBtrv();
  ASSERT_EQ(manager.calls().size(), 3u);
  EXPECT_EQ(manager.calls()[0].posBlock, block);
  EXPECT_NE(manager.calls()[1].posBlock, nullptr);
  EXPECT_NE(manager.calls()[1].posBlock, block);
  EXPECT_NE(manager.calls()[2].posBlock, nullptr);
  EXPECT_NE(manager.calls()[2].posBlock, manager.calls()[1].posBlock);
  // Own blocks start zeroed.
  const auto* own = static_cast<const unsigned char*>(manager.calls()[1].posBlock);
  for (int i = 0; i < CBaseRecLink::kPositionBlockSize; ++i) ASSERT_EQ(own[i], 0);
}

TEST(Gate, EofFlagFollowsTheLastGatedCallOnly) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec(kIdent, "/x/TEST.BTR");
  script.Script(B_GET_NEXT, {9});
  EXPECT_EQ(rec.GetNEXT(), 9);
  EXPECT_EQ(rec.IsEOF(), 1);
  EXPECT_EQ(boxes.count(), 0u);

  FileDescriptionType info;
  script.Script(B_STAT, {0});
  EXPECT_EQ(rec.GetDBInfo(&info), 0);
  EXPECT_EQ(rec.IsEOF(), 1);  // Stat bypasses the gate

  script.Script(B_GET_NEXT, {0});
  script.Script(B_GET_POSITION, {0});
  EXPECT_EQ(rec.GetNEXT(), 0);
  EXPECT_EQ(rec.IsEOF(), 0);
}

// Which statuses each operation keeps quiet, and the label of its box.
struct OperationCase {
  const char* label;
  int (CBaseRecLink::*run)();
  uint16_t op;
  std::vector<int> silent;  // besides 0
};

const OperationCase kOperations[] = {
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
};

TEST(Gate, EachOperationBoxesAllButItsSilentStatuses) {
  const std::vector<int> probes = {1, 3, 4, 5, 6, 9, 22, 80, 84, 85};
  for (const OperationCase& c : kOperations) {
    for (int status : probes) {
      SCOPED_TRACE(std::string(c.label) + " status " + std::to_string(status));
      ScriptedBtrieve script;
      MessageBoxRecorder boxes;
      TestRecord rec(kIdent, "/x/TEST.BTR");
      script.Script(c.op, {status});
      EXPECT_EQ((rec.*c.run)(), status);
      EXPECT_EQ(rec.GetLastStatus(), status);
      const bool silent = std::find(c.silent.begin(), c.silent.end(), status) != c.silent.end();
      ASSERT_EQ(boxes.count(), silent ? 0u : 1u);
      if (!silent) {
        EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, c.label, status));
        EXPECT_EQ(boxes.calls()[0].caption, std::string(AppTitle().GetString()));
        EXPECT_EQ(boxes.calls()[0].style, MB_OK);
      }
    }
  }
}

TEST(Gate, TransactionsReturnMinusOneAfterTheirBox) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec(kIdent, "/x/TEST.BTR");
  script.Script(B_BEGIN_TRAN, {37, 0});
  script.Script(B_END_TRAN, {39, 0});
  script.Script(B_ABORT_TRAN, {39});
  EXPECT_EQ(rec.BeginTran(), -1);
  EXPECT_EQ(rec.BeginTran(), 0);
  EXPECT_EQ(rec.EndTran(), -1);
  EXPECT_EQ(rec.EndTran(), 0);
  EXPECT_EQ(rec.AbortTran(), 39);  // silent
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, "BO_BEGINTRAN", 37));
  EXPECT_EQ(boxes.calls()[1].text, BoxText(kIdent, "BO_ENDTRAN", 39));
}

TEST(Gate, SuccessfulGetTakesThePositionAndAFailedGetPositionReplacesTheStatus) {
  MessageBoxRecorder boxes;
  int positionStatus = 0;
  FakeManager manager([&](const RawCall& call) {
    if (call.op != B_GET_POSITION) return 0;
    EXPECT_EQ(*call.dataLen, 4u);
    const unsigned char position[4] = {0x78, 0x56, 0x34, 0x12};
    std::memcpy(call.data, position, 4);
    return positionStatus;
  });
  TestRecord rec(kIdent, "/x/TEST.BTR");
  rec.SetDataLength(1234);
  EXPECT_EQ(rec.GetLAST(), 0);
  EXPECT_EQ(rec.GetPosition(), 0x12345678u);
  EXPECT_EQ(rec.GetDataLength(), 1234u);       // restored after Get Position
  EXPECT_NE(manager.calls()[1].data, rec.record());

  positionStatus = 8;
  EXPECT_EQ(rec.GetEQ(), 8);
  EXPECT_EQ(rec.GetPosition(), 0u);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, "BO_GETEQ", 8));
  EXPECT_EQ(manager.ops(), (std::vector<uint16_t>{13, 22, 5, 22}));
}

TEST(Gate, GetDirectSendsThePositionLittleEndian) {
  unsigned char sent[4] = {};
  FakeManager manager([&](const RawCall& call) {
    std::memcpy(sent, call.data, 4);
    return 0;
  });
  TestRecord rec(kIdent, "/x/TEST.BTR");
  EXPECT_EQ(rec.GetByPosition(0x01020304), 0);
  EXPECT_EQ(rec.GetPosition(), 0x01020304u);
  EXPECT_EQ(manager.ops(), std::vector<uint16_t>{B_GET_DIRECT});
  EXPECT_EQ(sent[0], 0x04);
  EXPECT_EQ(sent[3], 0x01);

  CBaseRecLink bare;
  EXPECT_EQ(bare.GetByPosition(7), -1);
  EXPECT_EQ(bare.GetDirect(), -1);
  EXPECT_EQ(manager.calls().size(), 1u);
}

TEST(Gate, UpdateReReadsByPrimeKeyThenWritesTheCallersRecord) {
  MessageBoxRecorder boxes;
  std::string keyAtReRead;
  std::string writtenRecord;
  FakeManager manager([&](const RawCall& call) {
    if (call.op == B_GET_EQUAL) {
      keyAtReRead.assign(call.key, 255);
      std::memset(call.data, 'S', *call.dataLen);  // the stored record
    }
    if (call.op == B_UPDATE) writtenRecord.assign(call.data, 8);
    return 0;
  });
  TestRecord rec(kIdent, "/x/TEST.BTR", 6);
  std::memcpy(rec.record(), "KEY001\0\0", 8);
  rec.SetDataLength(8);
  rec.SetKey(3);
  rec.SetKeyBuffer(const_cast<char*>("leftover key"), 12);

  EXPECT_EQ(rec.Update(), 0);
  EXPECT_EQ(manager.ops(), (std::vector<uint16_t>{B_GET_EQUAL, B_UPDATE}));
  EXPECT_EQ(manager.calls()[0].keyNum, 0);
  EXPECT_EQ(manager.calls()[1].keyNum, 0);
  EXPECT_EQ(keyAtReRead, std::string("KEY001") + std::string(249, '\0'));
  EXPECT_EQ(writtenRecord, std::string("KEY001\0\0", 8));
  EXPECT_EQ(rec.GetKeyNumber(), 0);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Gate, UpdateOfAMissingRecordMakesNoUpdateCall) {
  MessageBoxRecorder boxes;
  FakeManager manager([](const RawCall& call) {
    std::memset(call.data, '?', *call.dataLen);  // what the failed read leaves
    return 4;
  });
  TestRecord rec(kIdent, "/x/TEST.BTR", 6);
  std::memcpy(rec.record(), "KEY001", 6);
  rec.SetDataLength(8);
  EXPECT_EQ(rec.Update(), 4);
  EXPECT_EQ(manager.ops(), std::vector<uint16_t>{B_GET_EQUAL});
  EXPECT_EQ(std::string(rec.record(), 8), std::string(8, '?'));
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Gate, UpdateReportsAFailedWrite) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec(kIdent, "/x/TEST.BTR");
  script.Script(B_GET_EQUAL, {0});
  script.Script(B_UPDATE, {80});
  EXPECT_EQ(rec.Update(), 80);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, "BO_UPDATE", 80));
}

TEST(Gate, InsertUsesKeyZero) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec(kIdent, "/x/TEST.BTR");
  rec.SetKey(2);
  script.Script(B_INSERT, {5});
  EXPECT_EQ(rec.Insert(), 5);
  EXPECT_EQ(script.calls()[0].keyNum, 0);
  EXPECT_EQ(rec.GetKeyNumber(), 0);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Gate, StatBypassesTheGate) {
  TempDir dir;
  MessageBoxRecorder boxes;
  FakeManager manager([](const RawCall& call) {
    EXPECT_EQ(*call.dataLen, 1920u);
    EXPECT_EQ(call.keyNum, 0);
    EXPECT_EQ(call.keyLen, 255);
    *call.dataLen = 16;
    return 2;
  });
  TestRecord rec(kIdent, (dir.path() + "/TEST.BTR").c_str());
  rec.SetKey(5);
  rec.SetDataLength(77);
  FileDescriptionType info;
  EXPECT_EQ(rec.GetDBInfo(&info), 2);
  EXPECT_EQ(rec.GetLastStatus(), 2);
  EXPECT_EQ(rec.GetDataLength(), 77u);
  EXPECT_EQ(manager.calls()[0].data, reinterpret_cast<char*>(&info));
  EXPECT_EQ(boxes.count(), 0u);
  std::ifstream log(dir.file("io_error.txt"));
  EXPECT_FALSE(log.good());  // no log line for a call that bypasses the gate
}

TEST(Gate, StopResetsThenStopsAndKeepsTheOpenFlag) {
  TempDir dir;
  const std::string path = dir.file("TEST.BTR");
  std::ofstream(path) << "x";
  FakeManager manager([](const RawCall& call) { return call.op == B_STOP ? 1 : 0; });
  TestRecord rec(kIdent, path.c_str());
  ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  rec.Stop();
  EXPECT_EQ(rec.IsOpen(), 1);
  EXPECT_EQ(rec.GetLastStatus(), 1);
  EXPECT_EQ(rec.ResetBtrv(), 0);
  EXPECT_EQ(rec.IsOpen(), 1);
  EXPECT_EQ(manager.ops(), (std::vector<uint16_t>{B_OPEN, B_RESET, B_STOP, B_RESET}));
}

TEST(Open, PassesTheShortPathAndModeAndRestoresTheKey) {
  TempDir dir;
  const std::string path = dir.file("TEST.BTR");
  std::ofstream(path) << "x";
  MessageBoxRecorder boxes;
  std::string keyAtOpen;
  FakeManager manager([&](const RawCall& call) {
    keyAtOpen = call.key;
    std::memset(call.key, 'K', 255);  // the manager may scribble on the key
    return 0;
  });
  TestRecord rec(kIdent, path.c_str());
  rec.SetKeyBuffer(const_cast<char*>("saved"), 5);
  rec.SetKey(3);
  const std::string keyBefore(rec.GetKeyBuffer(), 255);

  EXPECT_EQ(rec.Open(BTR_OPEN_READONLY), 0);
  char shortPath[260] = {};
  GetShortPathNameA(path.c_str(), shortPath, 259);
  EXPECT_EQ(keyAtOpen, shortPath);
  EXPECT_EQ(manager.calls()[0].keyNum, B_MODE_READ_ONLY);
  EXPECT_EQ(rec.GetOpenMode(), BTR_OPEN_READONLY);
  EXPECT_EQ(rec.IsOpen(), 1);
  EXPECT_EQ(std::string(rec.GetKeyBuffer(), 255), keyBefore);
  EXPECT_EQ(rec.GetKeyNumber(), 3);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Open, MissingFileSendsAnEmptyNameAndReportsTheManagersStatus) {
  TempDir dir;
  MessageBoxRecorder boxes;
  std::string keyAtOpen = "unset";
  FakeManager manager([&](const RawCall& call) {
    keyAtOpen = call.key;
    return call.op == B_OPEN ? 12 : 0;
  });
  {
    TestRecord rec(kIdent, dir.file("MISSING.BTR").c_str());
    rec.SetKeyBuffer(const_cast<char*>("saved"), 5);
    rec.SetKey(2);
    EXPECT_EQ(rec.Open(BTR_OPEN_NORMAL), -1);
    EXPECT_EQ(keyAtOpen, "");
    EXPECT_EQ(rec.IsOpen(), 0);
    EXPECT_EQ(std::string(rec.GetKeyBuffer()), "saved");
    EXPECT_EQ(rec.GetKeyNumber(), 2);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, "BO_OPEN", 12));
  }
  EXPECT_EQ(manager.ops(), std::vector<uint16_t>{B_OPEN});  // no Close on destruction
}

TEST(Open, RefusesAShortPathTheKeyBufferCannotHold) {
  TempDir dir;
  std::string path = dir.path();
  while (path.size() < 240) {
    path += "/" + std::string(40, 'd');
    mkdir(path.c_str(), 0700);
  }
  path += "/" + std::string(30, 'f') + ".BTR";
  ASSERT_GT(path.size(), 254u);
  std::ofstream(path) << "x";
  ASSERT_TRUE(std::ifstream(path).good());

  MessageBoxRecorder boxes;
  FakeManager manager(Succeed);
  TestRecord rec(kIdent, path.c_str());
  EXPECT_EQ(rec.Open(BTR_OPEN_NORMAL), -1);
  EXPECT_TRUE(manager.calls().empty());
  EXPECT_EQ(rec.IsOpen(), 0);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText(kIdent, "BO_OPEN", B_FILENAME_BAD));
}

TEST(Lifecycle, OnlyAnOpenObjectClosesWhenDestroyed) {
  TempDir dir;
  const std::string path = dir.file("TEST.BTR");
  std::ofstream(path) << "x";
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  { CBaseRecLink neverOpened; }
  EXPECT_TRUE(script.calls().empty());

  script.Script(B_OPEN, {0});
  script.Script(B_CLOSE, {0});
  {
    TestRecord rec(kIdent, path.c_str());
    ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  }
  EXPECT_EQ(script.CountOf(B_CLOSE), 1u);

  // Close does not look at the open flag and reports nothing.
  script.Script(B_CLOSE, {3});
  TestRecord closed(kIdent, path.c_str());
  closed.SetPosition(99);
  closed.Close();
  EXPECT_EQ(script.CountOf(B_CLOSE), 2u);
  EXPECT_EQ(closed.GetLastStatus(), 3);
  EXPECT_EQ(closed.GetPosition(), 0u);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Lifecycle, ACopySharesTheSourcesBlockAndClosesItsFile) {
  TempDir dir;
  const std::string path = dir.file("TEST.BTR");
  std::ofstream(path) << "x";
  MessageBoxRecorder boxes;
  int closes = 0;
  FakeManager manager([&](const RawCall& call) {
    if (call.op == B_CLOSE) return ++closes == 1 ? 0 : 3;  // the second finds it closed
    return 0;
  });
  TestRecord source(kIdent, path.c_str());
  ASSERT_EQ(source.Open(BTR_OPEN_NORMAL), 0);
  {
    CBaseRecLink copy(source);
    EXPECT_EQ(copy.IsOpen(), 1);
    EXPECT_EQ(copy.GetFilePath(), source.GetFilePath());
  }
  source.Close();
  ASSERT_EQ(manager.ops(), (std::vector<uint16_t>{B_OPEN, B_CLOSE, B_CLOSE}));
  EXPECT_EQ(manager.calls()[1].posBlock, manager.calls()[0].posBlock);
  EXPECT_EQ(manager.calls()[1].data, source.record());
  EXPECT_EQ(source.GetLastStatus(), 3);
  EXPECT_EQ(boxes.count(), 0u);

  // Assignment copies the same way: the target now works on the source's
  // block and record buffer.
  TestRecord target("OTHER_DB", "/y/OTHER.BTR");
  CBaseRecLink& base = target;
  base = source;
  EXPECT_EQ(target.GetRecordIdent(), CString(kIdent));
  target.AbortTran();
  EXPECT_EQ(manager.calls().back().posBlock, manager.calls()[0].posBlock);
  EXPECT_EQ(manager.calls().back().data, source.record());
}

}  // namespace
}  // namespace reclink::test
