// The gate, the boxes and the log, with the record manager's answers scripted.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "numbered_db.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;
using reclink::test::ScriptedBtrieve;

TEST(Gate, RepeatsWhileLockedAndReportsOnlyTheFinalStatus) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[3600] = {};
  char key[256] = {};
  std::memset(key, 'k', 255);
  script.Script(B_GET_EQUAL, {84, 85, 84, 4});
  EXPECT_EQ(link.DB_GetEQ(110, 0x102, data, key), 4);
  EXPECT_EQ(script.CountOf(B_GET_EQUAL), 4u);
  EXPECT_EQ(script.calls().back().keyNum, 2);         // the key number's low byte
  EXPECT_EQ(script.calls().back().key.size(), 255u);  // key length 255
  script.Script(B_BEGIN_TRAN, {85, 85, 0});
  EXPECT_EQ(link.Begin_Tran(), 0);
  EXPECT_EQ(script.CountOf(B_BEGIN_TRAN), 3u);
  EXPECT_EQ(boxes.count(), 0u);

  script.Script(B_GET_FIRST, {84, 2});
  EXPECT_EQ(link.DB_GetFIRST(120, 0, data, key), 2);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "PHOTO_DB BO_GETFIRST Status = 2");
  EXPECT_EQ(boxes.calls()[0].caption, "RecLinkDLL ERROR");
  EXPECT_EQ(link.GetLastStatus(), 2);
}

TEST(Gate, CloseAndStopAskButNeverReport) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  script.Script(B_CLOSE, {3});
  link.DB_Close(480);  // never opened: asked all the same
  EXPECT_EQ(link.GetLastStatus(), 3);
  link.DB_Close(485);  // no slot: nothing to ask
  EXPECT_EQ(script.CountOf(B_CLOSE), 1u);

  script.Script(B_RESET, {0});
  script.Script(B_STOP, {20});
  link.DB_Stop();
  ASSERT_EQ(script.calls().size(), 3u);
  EXPECT_EQ(script.calls()[1].op, B_RESET);
  EXPECT_EQ(script.calls()[2].op, B_STOP);
  EXPECT_EQ(script.calls()[2].dataLen, 256u);
  EXPECT_EQ(link.GetLastStatus(), 20);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST(Messages, EveryOperationNamesAnUnknownNumberInItsOwnWords) {
  static char data[40980];
  static char key[256];
  using Call = int (*)(CRecLink&, int);
  const std::pair<const char*, Call> ops[] = {
      {"DBGetEQ", [](CRecLink& l, int n) { return l.DB_GetEQ(n, 0, data, key); }},
      {"DBGetGREQ", [](CRecLink& l, int n) { return l.DB_GetGREQ(n, 0, data, key); }},
      {"DBGetGR", [](CRecLink& l, int n) { return l.DB_GetGR(n, 0, data, key); }},
      {"DBGetNEXT", [](CRecLink& l, int n) { return l.DB_GetNEXT(n, 0, data, key); }},
      {"DBGetLESS", [](CRecLink& l, int n) { return l.DB_GetLESS(n, 0, data, key); }},
      {"DBGetLESSEQ", [](CRecLink& l, int n) { return l.DB_GetLEEQ(n, 0, data, key); }},
      {"DBGetFIRST", [](CRecLink& l, int n) { return l.DB_GetFIRST(n, 0, data, key); }},
      {"DBGetLAST", [](CRecLink& l, int n) { return l.DB_GetLAST(n, 0, data, key); }},
      {"DBGetPREV", [](CRecLink& l, int n) { return l.DB_GetPREV(n, 0, data, key); }},
      {"DBInsert", [](CRecLink& l, int n) { return l.DB_Insert(n, data); }},
      {"DBUpdate", [](CRecLink& l, int n) { return l.DB_Update(n, data); }},
      {"DBDelete", [](CRecLink& l, int n) { return l.DB_Delete(n, data); }},
      {"DBStat", [](CRecLink& l, int n) { return l.DB_Stat(n, data); }},
      {"DBOpen", [](CRecLink& l, int n) { return l.DB_Open(n, 0); }},
      {"DBOpen", [](CRecLink& l, int n) { return l.DB_Open("/tmp/x.btr", n); }},
  };
  NumberedDb db;
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  script.Script(B_ABORT_TRAN, {39});
  link.Abort_Tran();  // leaves 39 as the last status
  for (const auto& [name, call] : ops) {
    for (int dbno : {100, 375, 500}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(dbno));
      boxes.clear();
      EXPECT_EQ(call(link, dbno), -1);
      ASSERT_EQ(boxes.count(), 1u);
      EXPECT_EQ(boxes.calls()[0].text,
                std::string(name) + " Proc DBNo Error = " + std::to_string(dbno));
      EXPECT_EQ(boxes.calls()[0].caption, "RecLinkDLL ERROR");
      EXPECT_EQ(link.GetLastStatus(), 39);
    }
  }
  // Number 10 has a slot but no file: only an open by number refuses it.
  EXPECT_EQ(link.DB_Open(10, 0), -1);
  EXPECT_EQ(boxes.calls().back().text, "DBOpen Proc DBNo Error = 10");
  EXPECT_EQ(script.calls().size(), 1u);  // the Abort only
}

TEST(Messages, EachReadIsSilentOnlyAboutItsOwnStatus) {
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[4000] = {};
  char key[256] = {};
  struct Read {
    uint16_t op;
    const char* label;
    int silent;
    int (CRecLink::*call)(int, int, void*, void*);
  };
  const Read reads[] = {
      {B_GET_EQUAL, "BO_GETEQ", 4, &CRecLink::DB_GetEQ},
      {B_GET_GE, "BO_GETGREQ", 9, &CRecLink::DB_GetGREQ},
      {B_GET_GREATER, "BO_GETGR", 9, &CRecLink::DB_GetGR},
      {B_GET_NEXT, "BO_GETNEXT", 9, &CRecLink::DB_GetNEXT},
      {B_GET_LESS, "BO_GETLESS", 9, &CRecLink::DB_GetLESS},
      {B_GET_LE, "BO_GETLESSEQ", 9, &CRecLink::DB_GetLEEQ},
      {B_GET_FIRST, "BO_GETFIRST", 9, &CRecLink::DB_GetFIRST},
      {B_GET_LAST, "BO_GETLAST", 9, &CRecLink::DB_GetLAST},
      {B_GET_PREVIOUS, "BO_GETPREV", 9, &CRecLink::DB_GetPREV},
  };
  for (const Read& read : reads) {
    SCOPED_TRACE(read.label);
    const int other = read.silent == 4 ? 9 : 4;
    boxes.clear();
    script.ClearCalls();
    script.Script(read.op, {0, read.silent, other});
    EXPECT_EQ((link.*read.call)(160, 0, data, key), 0);
    EXPECT_EQ((link.*read.call)(160, 0, data, key), read.silent);
    EXPECT_EQ((link.*read.call)(160, 0, data, key), other);
    EXPECT_EQ(script.CountOf(read.op), 3u);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.calls()[0].text,
              std::string("POINTPA_DB ") + read.label + " Status = " + std::to_string(other));
  }
  // Number 10 has no ident: the text begins with the blank.
  script.Script(B_GET_LAST, {-7});
  EXPECT_EQ(link.DB_GetLAST(10, 0, data, key), -7);
  EXPECT_EQ(boxes.calls().back().text, " BO_GETLAST Status = -7");
}

std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

TEST(Messages, IoErrorIsLoggedInTheDirectoryReadByTheLastOpen) {
  NumberedDb db;
  MessageBoxRecorder boxes;
  ScriptedBtrieve script;
  CRecLink link;
  char data[3600] = {};
  char key[256] = {};
  const std::string log = db.file("io_error.txt");

  // Before an open by number there is no directory: the box only.
  script.Script(B_GET_EQUAL, {2});
  EXPECT_EQ(link.DB_GetEQ(110, 0, data, key), 2);
  EXPECT_EQ(boxes.count(), 1u);
  EXPECT_FALSE(std::filesystem::exists(log));

  script.Script(B_OPEN, {0});
  ASSERT_EQ(link.DB_Open(110, 0), 0);
  script.Script(B_GET_EQUAL, {2});
  script.Script(B_INSERT, {46});  // only status 2 is logged
  script.Script(B_BEGIN_TRAN, {2});
  EXPECT_EQ(link.DB_GetEQ(110, 0, data, key), 2);
  EXPECT_EQ(link.DB_Insert(110, data), 46);
  EXPECT_EQ(link.Begin_Tran(), -1);
  const std::string date = R"(\d{4}/\d{2}/\d{2})";
  const std::string text = ReadFile(log);
  EXPECT_TRUE(std::regex_match(text, std::regex(date + " : PATIENT_DB\r\n" + date + " : \r\n")))
      << text;

  // At 521000 bytes the log starts afresh.
  std::filesystem::resize_file(log, 521000);
  script.Script(B_STAT, {2});
  EXPECT_EQ(link.DB_Stat(110, data), 2);
  EXPECT_TRUE(std::regex_match(ReadFile(log), std::regex(date + " : PATIENT_DB\r\n")));
  EXPECT_EQ(boxes.count(), 5u);
}

}  // namespace
