// The gate, the boxes and the log, with the record manager replaced by
// scripted answers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "numbered_db.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"
#include "support/test_support.h"

namespace {

using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

constexpr const char* kCaption = "RecLinkDLL ERROR";

// Every call as the gate made it, answered from a queue (0 when empty).
struct RawCall {
  uint16_t op;
  void* posBlock;
  void* data;
  uint32_t* dataLen;
  void* key;
  uint8_t keyLen;
  int8_t keyNum;
};
std::vector<RawCall> g_raw;
std::vector<int> g_answers;

int RecordingEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                   uint8_t keyLen, int8_t keyNum) {
  g_raw.push_back({op, posBlock, data, dataLen, key, keyLen, keyNum});
  if (g_answers.empty()) return 0;
  int status = g_answers.front();
  g_answers.erase(g_answers.begin());
  return status;
}

class RecordingScope {
 public:
  explicit RecordingScope(std::vector<int> answers) {
    g_raw.clear();
    g_answers = std::move(answers);
    previous_ = reclink::SetBtrieveEntry(&RecordingEntry);
  }
  ~RecordingScope() { reclink::SetBtrieveEntry(previous_); }

 private:
  reclink::BtrieveEntry previous_;
};

TEST(Gate, RepeatsWhileLockedAndShowsOnlyTheFinalStatus) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  script.Script(B_GET_EQUAL, {84, 85, 84, 85, 4});
  CRecLink link;
  char data[3600] = {};
  char key[256] = {};
  EXPECT_EQ(link.DB_GetEQ(110, 0, data, key), 4);
  EXPECT_EQ(script.CountOf(B_GET_EQUAL), 5u);
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(link.GetLastStatus(), 4);

  // A lock met by a transaction call is waited out the same way.
  script.Script(B_BEGIN_TRAN, {85, 85, 0});
  EXPECT_EQ(link.Begin_Tran(), 0);
  EXPECT_EQ(script.CountOf(B_BEGIN_TRAN), 3u);

  // The repeated status never reaches the box: the box shows the final one.
  script.Script(B_GET_FIRST, {84, 2});
  EXPECT_EQ(link.DB_GetFIRST(120, 0, data, key), 2);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PHOTO_DB BO_GETFIRST Status = 2");
}

TEST(Gate, PassesKeyLength255AndTheLowByteOfTheKeyNumber) {
  RecordingScope scope({0, 0});
  CRecLink link;
  char data[3600] = {};
  char key[256] = {};
  EXPECT_EQ(link.RECLINK(B_GET_EQUAL, data, data, nullptr, key, 0x1FF), 0);
  EXPECT_EQ(link.DB_GetGR(110, 0x102, data, key), 0);
  ASSERT_EQ(g_raw.size(), 2u);
  EXPECT_EQ(g_raw[0].keyLen, 255);
  EXPECT_EQ(g_raw[0].keyNum, -1);
  EXPECT_EQ(g_raw[1].keyNum, 2);
  EXPECT_EQ(g_raw[1].keyLen, 255);
  EXPECT_EQ(g_raw[1].data, data);
  EXPECT_EQ(g_raw[1].key, key);
}

TEST(Gate, StoresTheStatusAsSixteenBits) {
  RecordingScope scope({65536 + 3, -2});
  CRecLink link;
  EXPECT_EQ(link.RECLINK(B_CLOSE, nullptr, nullptr, nullptr, nullptr, 0), 3);
  EXPECT_EQ(link.GetLastStatus(), 3);
  EXPECT_EQ(link.RECLINK(B_CLOSE, nullptr, nullptr, nullptr, nullptr, 0), -2);
}

TEST(Gate, FileLessCallsUseTheScratchBlock) {
  CRecLink link;
  {
    RecordingScope scope({0, 0, 0, 0, 0});
    link.Begin_Tran();
    link.End_Tran();
    link.Abort_Tran();
    link.DB_Stop();
    ASSERT_EQ(g_raw.size(), 5u);
    const uint16_t ops[] = {B_BEGIN_TRAN, B_END_TRAN, B_ABORT_TRAN, B_RESET, B_STOP};
    for (size_t i = 0; i < g_raw.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(g_raw[i].op, ops[i]);
      EXPECT_EQ(g_raw[i].posBlock, g_raw[0].posBlock);
      EXPECT_EQ(g_raw[i].data, g_raw[0].posBlock);
      EXPECT_EQ(g_raw[i].key, g_raw[0].posBlock);
      ASSERT_NE(g_raw[i].dataLen, nullptr);
      EXPECT_EQ(*g_raw[i].dataLen, 256u);
      EXPECT_EQ(g_raw[i].keyNum, 0);
    }
  }
  // Stop's status is the one kept; nothing is shown.
  MessageBoxRecorder boxes;
  RecordingScope scope({3, 20});
  link.DB_Stop();
  EXPECT_EQ(link.GetLastStatus(), 20);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Gate, CloseCallsTheRecordManagerEvenForANeverOpenedSlot) {
  MessageBoxRecorder boxes;
  CRecLink link;
  {
    RecordingScope scope({3});
    link.DB_Close(480);
    ASSERT_EQ(g_raw.size(), 1u);
    EXPECT_EQ(g_raw[0].op, B_CLOSE);
    EXPECT_EQ(g_raw[0].data, nullptr);
    EXPECT_EQ(g_raw[0].dataLen, nullptr);
    EXPECT_EQ(g_raw[0].key, nullptr);
    EXPECT_EQ(link.GetLastStatus(), 3);
  }
  // A number without a slot is not closed: no call, the status stays.
  RecordingScope scope({});
  link.DB_Close(485);
  EXPECT_TRUE(g_raw.empty());
  EXPECT_EQ(link.GetLastStatus(), 3);
  EXPECT_EQ(boxes.count(), 0u);
}

// One file operation by number, as the unknown-number test calls it.
struct NumberedOp {
  const char* text;  // the unknown-number format
  std::function<int(CRecLink&, int)> call;
};

TEST(Messages, EveryOperationNamesAnUnknownNumberInItsOwnWords) {
  static char data[40980];
  static char key[256];
  const std::vector<NumberedOp> ops = {
      {"DBGetEQ Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetEQ(n, 0, data, key); }},
      {"DBGetGREQ Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetGREQ(n, 0, data, key); }},
      {"DBGetGR Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetGR(n, 0, data, key); }},
      {"DBGetNEXT Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetNEXT(n, 0, data, key); }},
      {"DBGetLESS Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetLESS(n, 0, data, key); }},
      {"DBGetLESSEQ Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetLEEQ(n, 0, data, key); }},
      {"DBGetFIRST Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetFIRST(n, 0, data, key); }},
      {"DBGetLAST Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetLAST(n, 0, data, key); }},
      {"DBGetPREV Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_GetPREV(n, 0, data, key); }},
      {"DBInsert Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Insert(n, data); }},
      {"DBUpdate Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Update(n, data); }},
      {"DBDelete Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Delete(n, data); }},
      {"DBStat Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Stat(n, data); }},
      {"DBOpen Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Open(n, 0); }},
      {"DBOpen Proc DBNo Error = %d", [](CRecLink& l, int n) { return l.DB_Open("/tmp/x.btr", n); }},
  };
  NumberedDb db;
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  script.Script(B_ABORT_TRAN, {39});
  link.Abort_Tran();  // leaves 39 as the last status
  script.ClearCalls();
  for (const NumberedOp& op : ops) {
    for (int dbno : {100, 375, 500}) {
      SCOPED_TRACE(std::string(op.text) + " " + std::to_string(dbno));
      boxes.clear();
      EXPECT_EQ(op.call(link, dbno), -1);
      ASSERT_EQ(boxes.count(), 1u);
      char want[128];
      std::snprintf(want, sizeof want, op.text, dbno);
      EXPECT_EQ(boxes.calls()[0].text, want);
      EXPECT_EQ(boxes.calls()[0].caption, kCaption);
      EXPECT_EQ(boxes.calls()[0].style, 0u);
      EXPECT_TRUE(script.calls().empty());
      EXPECT_EQ(link.GetLastStatus(), 39);
    }
  }
  // Number 10 has a slot but no file: only an open by number refuses it.
  boxes.clear();
  EXPECT_EQ(link.DB_Open(10, 0), -1);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "DBOpen Proc DBNo Error = 10");
  EXPECT_TRUE(script.calls().empty());
}

TEST(Messages, ErrorBoxNamesIdentLabelAndStatus) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[4048] = {};
  char key[256] = {};
  script.Script(B_GET_EQUAL, {9, 4});
  script.Script(B_GET_NEXT, {4, 9});
  EXPECT_EQ(link.DB_GetEQ(490, 0, data, key), 9);  // end of file is no answer to GetEQ
  EXPECT_EQ(link.DB_GetEQ(490, 0, data, key), 4);
  EXPECT_EQ(link.DB_GetNEXT(330, 0, data, key), 4);  // nor key-not-found to GetNEXT
  EXPECT_EQ(link.DB_GetNEXT(330, 0, data, key), 9);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, "MOEX2_DB BO_GETEQ Status = 9");
  EXPECT_EQ(boxes.calls()[1].text, "PHOTOEX_DB BO_GETNEXT Status = 4");
  for (const auto& box : boxes.calls()) {
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.style, 0u);
  }

  // Transactions have no ident: the text begins with the blank.
  boxes.clear();
  script.Script(B_BEGIN_TRAN, {37});
  script.Script(B_END_TRAN, {39});
  script.Script(B_ABORT_TRAN, {39});
  EXPECT_EQ(link.Begin_Tran(), -1);
  EXPECT_EQ(link.End_Tran(), -1);
  link.Abort_Tran();
  EXPECT_EQ(link.GetLastStatus(), 39);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, " BO_BEGIN Status = 37");
  EXPECT_EQ(boxes.calls()[1].text, " BO_ENDTRAN Status = 39");

  // Number 10 shows no ident either; negative statuses keep their sign.
  boxes.clear();
  script.Script(B_GET_LAST, {-7});
  EXPECT_EQ(link.DB_GetLAST(10, 0, data, key), -7);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, " BO_GETLAST Status = -7");
}

TEST(Messages, EachReadTreatsItsOwnStatusAsSilent) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[4000] = {};
  char key[256] = {};
  struct Read {
    uint16_t op;
    const char* label;
    int (CRecLink::*call)(int, int, void*, void*);
  };
  const Read reads[] = {
      {B_GET_GE, "BO_GETGREQ", &CRecLink::DB_GetGREQ},
      {B_GET_GREATER, "BO_GETGR", &CRecLink::DB_GetGR},
      {B_GET_NEXT, "BO_GETNEXT", &CRecLink::DB_GetNEXT},
      {B_GET_LESS, "BO_GETLESS", &CRecLink::DB_GetLESS},
      {B_GET_LE, "BO_GETLESSEQ", &CRecLink::DB_GetLEEQ},
      {B_GET_FIRST, "BO_GETFIRST", &CRecLink::DB_GetFIRST},
      {B_GET_LAST, "BO_GETLAST", &CRecLink::DB_GetLAST},
      {B_GET_PREVIOUS, "BO_GETPREV", &CRecLink::DB_GetPREV},
  };
  for (const Read& read : reads) {
    SCOPED_TRACE(read.label);
    boxes.clear();
    script.ClearCalls();
    script.Script(read.op, {0, 9, 4});
    EXPECT_EQ((link.*read.call)(160, 0, data, key), 0);
    EXPECT_EQ((link.*read.call)(160, 0, data, key), 9);
    EXPECT_EQ((link.*read.call)(160, 0, data, key), 4);
    EXPECT_EQ(script.CountOf(read.op), 3u);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, std::string("POINTPA_DB ") + read.label + " Status = 4");
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Messages, IoErrorIsLoggedInTheDatabaseDirectory) {
  NumberedDb db;
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[3600] = {};
  char key[256] = {};
  const std::string log = db.file("io_error.txt");

  // Before any open by number the directory is unknown: the box only.
  script.Script(B_GET_EQUAL, {2});
  EXPECT_EQ(link.DB_GetEQ(110, 0, data, key), 2);
  EXPECT_EQ(boxes.count(), 1u);
  EXPECT_FALSE(std::filesystem::exists(log));

  script.Script(B_OPEN, {0});
  ASSERT_EQ(link.DB_Open(110, 0), 0);
  script.Script(B_GET_EQUAL, {2});
  EXPECT_EQ(link.DB_GetEQ(110, 0, data, key), 2);
  const std::regex line(R"(\d{4}/\d{2}/\d{2} : PATIENT_DB\r\n)");
  std::string first = ReadFile(log);
  EXPECT_TRUE(std::regex_match(first, line)) << first;

  // A second error grows the log; the transactions log an empty ident.
  script.Script(B_BEGIN_TRAN, {2});
  EXPECT_EQ(link.Begin_Tran(), -1);
  std::string both = ReadFile(log);
  ASSERT_GT(both.size(), first.size());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_TRUE(std::regex_match(both.substr(first.size()), std::regex(R"(\d{4}/\d{2}/\d{2} : \r\n)")));

  // Only status 2 is logged.
  script.Script(B_INSERT, {46});
  std::vector<char> record(3600, 0);
  EXPECT_EQ(link.DB_Insert(110, record.data()), 46);
  EXPECT_EQ(ReadFile(log), both);

  // At 521000 bytes the log starts afresh; one byte less and it grows.
  std::filesystem::resize_file(log, 520999);
  script.Script(B_STAT, {2});
  EXPECT_EQ(link.DB_Stat(110, data), 2);
  EXPECT_GT(std::filesystem::file_size(log), 520999u);
  std::filesystem::resize_file(log, 521000);
  script.Script(B_STAT, {2});
  EXPECT_EQ(link.DB_Stat(110, data), 2);
  EXPECT_TRUE(std::regex_match(ReadFile(log), line));
}

}  // namespace
