// CBaseRecLink: the gate and the operations on it, their error boxes, the
// I/O-error log and the point-lat upgrade. A scripted record manager plays the
// statuses a real file does not easily give; real files check the rest. Which
// statuses each operation keeps quiet about, the record suites show.

#include "reclink/base_rec_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/io_error_log.h"
#include "core/point_lat.h"
#include "core/read_log.h"
#include "platform/file.h"
#include "platform/winapi.h"
#include "reclink/win_app.h"
#include "support/btr_file.h"
#include "support/system_text.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// A record class as the catalogue builds them: a 3000-byte record whose first
// 32 bytes are the prime key.
class TestRecord : public CBaseRecLink {
 public:
  TestRecord(const char* ident, const char* path) : CBaseRecLink(path) {
    SetDataBuffer(record_);
    SetDataLength(sizeof record_);
    SetPrimeKey(primeKey_, sizeof primeKey_);
    SetRecordIdent(ident);
  }
  void GetPrimeKeyFromBuffer() override { std::memcpy(primeKey_, record_, sizeof primeKey_); }
  char* record() { return record_; }
  std::vector<unsigned char> bytes() const { return {record_, record_ + sizeof record_}; }

 private:
  char record_[3000] = {};
  char primeKey_[32] = {};
};

// An object works on the position block it is given, else on its own; a
// shorter key clears what a longer one left.
TEST(Gate, ObjectsWorkOnTheBlockTheyAreGivenOrOnTheirOwnWithTheKeyLastSet) {
  ScriptedBtrieve manager([](const BtrieveCallRecord&) { return 0; });
  char block[128] = {}, other[128] = {};
  CBaseRecLink external(block, "/x/TEST.BTR"), nullBlock(static_cast<char*>(nullptr));
  external.AbortTran();
  nullBlock.AbortTran();
  external.SetRecordSetBlock(other);
  external.AbortTran();

  const auto& calls = manager.calls();
  EXPECT_EQ(calls[0].posBlock, block);
  EXPECT_NE(calls[1].posBlock, nullptr);
  EXPECT_EQ(calls[2].posBlock, other);

  std::string key(255, 'X');
  external.SetKeyBuffer(key.data(), 255);
  external.SetKeyBuffer(key.data(), 4);
  EXPECT_EQ(std::string(external.GetKeyBuffer(), 255), "XXXX" + std::string(251, '\0'));
}

TEST(Gate, OpenSendsTheShortPathAndModeRestoresTheKeyAndBoxesAFailure) {
  TempDir dir;
  MessageBoxRecorder boxes;
  std::vector<std::string> names;  // what each Open sent
  ScriptedBtrieve manager([&](const BtrieveCallRecord& call) {
    if (call.op != B_OPEN) return 0;
    names.push_back(call.key);
    std::memset(call.keyBuffer, 'K', 255);  // the manager may write the key buffer
    return 0;
  });
  const std::string path = dir.file("TEST.BTR");
  // A missing file has no short form: the empty name goes, the manager decides.
  for (bool exists : {false, true}) {
    if (exists) std::ofstream(path) << "x";
    size_t before = 0;
    {
      TestRecord rec("TEST_DB", path.c_str());
      rec.SetKeyBuffer(const_cast<char*>("saved"), 5);
      rec.SetKey(3);
      manager.Script(B_OPEN, {12});
      EXPECT_EQ(rec.Open(BTR_OPEN_NORMAL), -1);
      EXPECT_EQ(rec.IsOpen(), 0);
      EXPECT_EQ(rec.Open(BTR_OPEN_READONLY), 0);
      char shortPath[_MAX_PATH] = {};  // the system's short form (a Linux path is its own)
      GetShortPathNameA(path.c_str(), shortPath, _MAX_PATH);
      EXPECT_EQ(names.back(), exists ? shortPath : "");
      EXPECT_EQ(manager.calls().back().keyNum, B_MODE_READ_ONLY);
      EXPECT_EQ(rec.IsOpen(), 1);
      EXPECT_EQ(std::string(rec.GetKeyBuffer(), 255), "saved" + std::string(250, '\0'));
      EXPECT_EQ(rec.GetKeyNumber(), 3);
      before = manager.calls().size();
    }
    ASSERT_EQ(manager.calls().size(), before + 1);  // closed on destruction
    EXPECT_EQ(manager.calls().back().op, B_CLOSE);
  }

  // A name the key buffer cannot hold even in its short form: refused unasked.
  // Every name below the directory's short form is a short name already.
  char deepShort[_MAX_PATH] = {};
  GetShortPathNameA(dir.path().c_str(), deepShort, _MAX_PATH);
  std::string deep = deepShort;
  while (deep.size() < 242) std::filesystem::create_directory(deep += TempDir::kSeparator + std::string("D"));
  deep += TempDir::kSeparator + std::string("FFFFFFFF.BTR");  // 255 or 256 bytes
  std::ofstream(deep) << "x";
  TestRecord rec("TEST_DB", deep.c_str());
  const size_t before = manager.calls().size();
  EXPECT_EQ(rec.Open(BTR_OPEN_NORMAL), -1);
  EXPECT_EQ(manager.calls().size(), before);
  ASSERT_EQ(boxes.count(), 3u);
  EXPECT_EQ(boxes.calls()[0].text, "RecLinkDLL ERROR:\n\nTEST_DB BO_OPEN Status = 12\n\n");
  EXPECT_EQ(boxes.calls()[2].text, "RecLinkDLL ERROR:\n\nTEST_DB BO_OPEN Status = 11\n\n");
}

TEST(ErrorReport, AnEmptyIdentIsLoggedEmptyThenTakenFromTheFileNameForBoxAndLog) {
  TempDir dir;
  MessageBoxRecorder boxes;
  ScriptedBtrieve manager([](const BtrieveCallRecord&) { return 2; });
  TestRecord rec("", (dir.path() + "\\PATIENT1.BTR").c_str());
  EXPECT_EQ(rec.Delete(), 2);  // logged, then its box names the file
  EXPECT_EQ(rec.Delete(), 2);
  EXPECT_EQ(rec.GetRecordIdent(), CString("PATIENT1.BTR"));
  const std::string date = Today();
  EXPECT_EQ(ReadFile(dir.file("io_error.txt")), date + " : \r\n" + date + " : PATIENT1.BTR\r\n");
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, "RecLinkDLL ERROR:\n\nPATIENT1.BTR BO_DELETE Status = 2\n\n");
  // Without an application object the caption is the executable's name.
  EXPECT_EQ(boxes.calls()[0].caption, "core_tests");

  // The system's text for the thread's last error, with the stop icon; none, empty.
  // On Windows that text is the system's in code page 932.
  for (int error : {kFileNotFoundError, 0}) {
    SetLastSystemError(error);
    rec.GetLastErrMessage();
    EXPECT_EQ(Cp932ToUtf8(boxes.calls().back().text), error != 0 ? SystemErrorWords(error) : "");
    EXPECT_EQ(boxes.calls().back().style, MB_OK | MB_ICONSTOP);
  }
  // A failed transaction step answers -1; the application names the boxes.
  CWinApp app;
  app.SetAppName("Clinic");
  EXPECT_EQ(rec.EndTran(), -1);
  EXPECT_EQ(boxes.calls().back().text, "RecLinkDLL ERROR:\n\nPATIENT1.BTR BO_ENDTRAN Status = 2\n\n");
  EXPECT_EQ(boxes.calls().back().caption, "Clinic");
}

TEST(ErrorReport, LogIsRecreatedAtTheDecimalLimitAndSkippedWhileItCannotBeOpened) {
  TempDir dir;
  const std::string log = dir.file("io_error.txt");
  const std::string line = Today() + " : PATIENT_DB\r\n";
  constexpr size_t kLimit = 521000;              // decimal bytes
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");  // a missing log is created
  EXPECT_EQ(ReadFile(log), line);
  std::ofstream(log, std::ios::binary) << std::string(kLimit - 1, 'x');
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), std::string(kLimit - 1, 'x') + line);
  std::ofstream(log, std::ios::binary) << std::string(kLimit, 'x');
  {
    // Another writer holds the log: the line is dropped, and the re-creation
    // it called for destroys nothing the holder has.
    CFile holder;
    ASSERT_TRUE(holder.Open(log.c_str(), CFile::modeReadWrite | CFile::shareExclusive));
    AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  }
  EXPECT_EQ(ReadFile(log), std::string(kLimit, 'x'));
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");  // released: re-created
  EXPECT_EQ(ReadFile(log), line);
  // A log in a directory that does not exist is skipped without a word.
  AppendIoErrorLine(dir.file("none/io_error.txt").c_str(), "PATIENT_DB");
  EXPECT_FALSE(std::ifstream(dir.file("none/io_error.txt")).good());
}

using Record = std::vector<unsigned char>;

// An older-layout record of patient n whose bytes tell their offsets apart.
// Any mark but '1' means older: patients 0, 1 and 2 carry '0', ' ' and '2';
// the zero a failed look-up leaves, the record and numbered suites show.
Record OlderRecord(char n) {
  Record r(3000);
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>((i * 7 + i / 256) | 1);
  const char patient[11] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', n, '\0'};
  std::copy_n(patient, sizeof patient, r.begin());
  r[kPointLatMarkOffset] = "0 2"[n - '0'];
  return r;
}

// The older record in the current layout: the header and the first 50 pairs
// in place, 40 zero bytes of new pairs at 464, everything from the double on
// 40 bytes further, the older tail dropped; the two gaps and the current tail
// keep the older bytes at their own offsets.
Record Upgraded(const Record& older) {
  Record r(3000, 0);
  for (size_t i = 0; i < r.size(); ++i) {
    const bool gap = (i >= 1212 && i < 1216) || (i >= 2508 && i < 2512) || i >= 2932;
    if (i < 464 || gap)
      r[i] = older[i];
    else if (i >= 504)
      r[i] = older[i - 40];
  }
  r[kPointLatMarkOffset] = kPointLatCurrent;
  return r;
}

TEST(PointLat, OnARealFileKeyedReadsGoTheirWaysAndUpgradeAnOlderRecordPositionalOnesDoNot) {
  TempDir dir;
  MessageBoxRecorder boxes;
  std::string path = dir.file("POINTLAT.BTR");
  char key[255] = "0000000001";
  ASSERT_EQ(CreateFile(path, MakeSpec(3000, 1, {{1, 21, 0}})), 0);  // key 0: the patient key, a zstring at 0
  // Patients 0, 1 and 2, stored as another program left them: through an
  // object of another ident, in the older layout.
  TestRecord writer("OTHER_DB", path.c_str()), rec("POINTLAT_DB", path.c_str());
  ASSERT_EQ(writer.Open(BTR_OPEN_NORMAL), 0);
  for (char n : {'0', '1', '2'}) {
    const Record older = OlderRecord(n);
    std::copy(older.begin(), older.end(), writer.record());
    ASSERT_EQ(writer.Insert(), 0);
  }
  ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  // Stat fills the caller's buffer and leaves the record's length as it was:
  // the reads below get whole records.
  FileDescriptionType info;
  ASSERT_EQ(rec.GetDBInfo(&info), 0);
  EXPECT_EQ(info.fileSpec.recordLength, 3000);
  // Each keyed read goes its own way along key 0, from patient 1 when it
  // starts from a key, and upgrades the record it lands on. A record read in
  // the current layout is left as it is: the record and numbered suites read
  // back what they stored.
  const std::pair<int (CBaseRecLink::*)(), char> reads[] = {
      {&CBaseRecLink::GetFIRST, '0'}, {&CBaseRecLink::GetLAST, '2'}, {&CBaseRecLink::GetPREV, '1'},
      {&CBaseRecLink::GetNEXT, '2'},  {&CBaseRecLink::GetGR, '2'},   {&CBaseRecLink::GetGREQ, '1'},
      {&CBaseRecLink::GetLESS, '0'},  {&CBaseRecLink::GetLEEQ, '1'}, {&CBaseRecLink::GetEQ, '1'}};
  for (const auto& [read, found] : reads) {
    key[9] = '1';
    rec.SetKeyBuffer(key, 11);
    ASSERT_EQ((rec.*read)(), 0);
    EXPECT_EQ(rec.bytes(), Upgraded(OlderRecord(found))) << "landing on patient " << found;
  }
  ASSERT_EQ(rec.GetByPosition(rec.GetPosition()), 0);  // a positional read: as stored
  EXPECT_EQ(rec.bytes(), OlderRecord('1'));
  // What the object writes is marked current, and read back as it was written.
  Record marked = OlderRecord('1');
  marked[kPointLatMarkOffset] = kPointLatCurrent;
  ASSERT_EQ(rec.Update(), 0);
  ASSERT_EQ(rec.GetEQ(), 0);
  EXPECT_EQ(rec.bytes(), marked) << "updated";
  rec.record()[9] = marked[9] = key[9] = '5';
  rec.record()[kPointLatMarkOffset] = '0';  // a new record in the older layout
  ASSERT_EQ(rec.Insert(), 0);
  rec.SetKeyBuffer(key, 11);
  ASSERT_EQ(rec.GetEQ(), 0);
  EXPECT_EQ(rec.bytes(), marked) << "inserted";
  ASSERT_EQ(rec.GetLAST(), 0);
  EXPECT_EQ(rec.GetNEXT(), B_END_OF_FILE);
  EXPECT_EQ(rec.IsEOF(), 1);
  rec.SetDataBuffer(nullptr);
  EXPECT_EQ(rec.GetByPosition(rec.GetPosition()), -1) << "no buffer to write the position into";
  {
    // A copy of an open object is open and shares the position block: its
    // destruction closes the file for both; the source's Close then gets the
    // record manager's complaint, without a box.
    TestRecord copy(rec);
    EXPECT_EQ(copy.IsOpen(), 1);
  }
  rec.Close();
  EXPECT_EQ(rec.GetLastStatus(), B_FILE_NOT_OPEN);
  EXPECT_EQ(boxes.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
