// Record objects on real record-manager files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/core_test_util.h"
#include "core/point_lat.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// A small patient file: number (zstring 21, key 0, unique), name (zstring 20
// at 21, key 1, duplicates), 23 more bytes of data.
constexpr uint16_t kPatientLength = 64;

class PatientFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // The library's own spelling: the file name after a backslash.
    path_ = dir_.path() + "\\PATIENT1.BTR";
    ASSERT_EQ(CreateRecordFile(path_, kPatientLength,
                               {{{0, 21, 0}}, {{21, 20, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}}),
              0);
  }

  // Fills rec's buffer with one patient.
  static void Fill(TestRecord& rec, const char* number, const char* name, char data) {
    std::memset(rec.record(), 0, kPatientLength);
    std::strcpy(rec.record(), number);
    std::strcpy(rec.record() + 21, name);
    std::memset(rec.record() + 41, data, kPatientLength - 41);
  }

  std::unique_ptr<TestRecord> OpenPatients() {
    auto rec = std::make_unique<TestRecord>("PATIENT_DB", path_.c_str());
    rec->SetDataLength(kPatientLength);
    EXPECT_EQ(rec->Open(BTR_OPEN_NORMAL), 0);
    return rec;
  }

  TempDir dir_;
  std::string path_;
  MessageBoxRecorder boxes_;
};

TEST_F(PatientFile, ReadsAndWalksWithOnlyOrdinaryOutcomesSilent) {
  auto rec = OpenPatients();
  EXPECT_EQ(rec->GetFIRST(), B_END_OF_FILE);  // empty file
  EXPECT_EQ(rec->IsEOF(), 1);

  for (auto [number, name] : {std::pair{"0000000002", "SUZUKI"}, {"0000000001", "SATO"},
                              {"0000000003", "TANAKA"}}) {
    Fill(*rec, number, name, 'd');
    ASSERT_EQ(rec->Insert(), 0);
  }
  Fill(*rec, "0000000001", "OTHER", 'd');
  rec->SetKey(1);
  EXPECT_EQ(rec->Insert(), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(rec->GetKeyNumber(), 0);

  rec->SetKeyBuffer(const_cast<char*>("0000000009"), 10);
  EXPECT_EQ(rec->GetEQ(), B_KEY_VALUE_NOT_FOUND);

  rec->SetKey(1);
  EXPECT_EQ(rec->GetFIRST(), 0);
  EXPECT_STREQ(rec->record() + 21, "SATO");
  EXPECT_EQ(rec->IsEOF(), 0);
  std::vector<std::string> names = {rec->record() + 21};
  while (rec->GetNEXT() == 0) names.push_back(rec->record() + 21);
  EXPECT_EQ(rec->GetLastStatus(), B_END_OF_FILE);
  EXPECT_EQ(rec->IsEOF(), 1);
  EXPECT_EQ(names, (std::vector<std::string>{"SATO", "SUZUKI", "TANAKA"}));
  EXPECT_EQ(rec->GetPREV(), 0);
  EXPECT_EQ(rec->IsEOF(), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientFile, PositionUpdateAndDeleteFollowTheCurrentRecord) {
  auto rec = OpenPatients();
  Fill(*rec, "0000000001", "SATO", 'a');
  ASSERT_EQ(rec->Insert(), 0);
  Fill(*rec, "0000000002", "SUZUKI", 'b');
  ASSERT_EQ(rec->Insert(), 0);

  rec->SetKey(0);
  rec->SetKeyBuffer(const_cast<char*>("0000000001"), 10);
  ASSERT_EQ(rec->GetEQ(), 0);
  const unsigned long position = rec->GetPosition();
  EXPECT_NE(position, 0u);
  ASSERT_EQ(rec->GetLAST(), 0);
  EXPECT_NE(rec->GetPosition(), position);
  ASSERT_EQ(rec->GetByPosition(position), 0);
  EXPECT_STREQ(rec->record() + 21, "SATO");

  // Update rewrites what the buffer holds, found again by its number.
  ASSERT_EQ(rec->GetLAST(), 0);  // currency elsewhere
  Fill(*rec, "0000000001", "SATO HANAKO", 'z');
  ASSERT_EQ(rec->Update(), 0);
  rec->SetKeyBuffer(const_cast<char*>("0000000001"), 10);
  ASSERT_EQ(rec->GetEQ(), 0);
  EXPECT_STREQ(rec->record() + 21, "SATO HANAKO");
  EXPECT_EQ(rec->record()[63], 'z');

  // A number no longer stored: 4, silently, and nothing written.
  {
    ScriptedBtrieve script;
    Fill(*rec, "0000000007", "NOBODY", 'n');
    EXPECT_EQ(rec->Update(), B_KEY_VALUE_NOT_FOUND);
    EXPECT_EQ(script.CountOf(B_UPDATE), 0u);
  }

  rec->SetKeyBuffer(const_cast<char*>("0000000002"), 10);
  ASSERT_EQ(rec->GetEQ(), 0);
  EXPECT_EQ(rec->Delete(), 0);
  EXPECT_EQ(rec->GetEQ(), B_KEY_VALUE_NOT_FOUND);

  FileDescriptionType info{};
  rec->SetDataLength(kPatientLength);
  EXPECT_EQ(rec->GetDBInfo(&info), 0);
  EXPECT_EQ(info.fileSpec.recordLength, kPatientLength);
  EXPECT_EQ(info.fileSpec.numberOfRecords, 1u);
  EXPECT_EQ(info.fileSpec.numberOfKeys, 2);
  EXPECT_EQ(rec->GetDataLength(), kPatientLength);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientFile, AbortedTransactionLeavesNoRecord) {
  auto rec = OpenPatients();
  ASSERT_EQ(rec->BeginTran(), 0);
  Fill(*rec, "0000000001", "SATO", 'a');
  ASSERT_EQ(rec->Insert(), 0);
  EXPECT_EQ(rec->AbortTran(), 0);
  EXPECT_EQ(rec->GetFIRST(), B_END_OF_FILE);
  EXPECT_EQ(rec->EndTran(), -1);  // none active
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, BoxText("PATIENT_DB", "BO_ENDTRAN", rec->GetLastStatus()));
}

TEST_F(PatientFile, UnopenedAndMissingFilesAreReported) {
  TestRecord closed("PATIENT_DB", path_.c_str());
  EXPECT_EQ(closed.GetFIRST(), B_FILE_NOT_OPEN);
  closed.Close();  // reports nothing

  TestRecord missing("MISSING_DB", (dir_.path() + "\\MISSING.BTR").c_str());
  EXPECT_EQ(missing.Open(BTR_OPEN_NORMAL), -1);
  EXPECT_EQ(missing.IsOpen(), 0);
  const int status = missing.GetLastStatus();
  EXPECT_NE(status, 0);

  ASSERT_EQ(boxes_.count(), 2u);
  EXPECT_EQ(boxes_.calls()[0].text, BoxText("PATIENT_DB", "BO_GETFIRST", 3));
  EXPECT_EQ(boxes_.calls()[1].text, BoxText("MISSING_DB", "BO_OPEN", status));
}

TEST_F(PatientFile, ACopyClosesTheSharedFile) {
  auto source = OpenPatients();
  { CBaseRecLink copy(*source); }
  // The file of the shared block is closed: the source's reads fail.
  EXPECT_EQ(source->GetFIRST(), B_FILE_NOT_OPEN);
  source->Close();
  EXPECT_NE(source->GetLastStatus(), 0);
  EXPECT_EQ(boxes_.count(), 1u);  // the failed read only
}

// Point-lat records of both layouts in one file.
class PointLatFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("POINTLAT.BTR");
    ASSERT_EQ(CreateRecordFile(path_, kPointLatRecordLength, {{{0, 21, 0}, {21, 11, 0}}}), 0);
  }

  // Reads or writes the file without the library: records as stored.
  int Raw(uint16_t op, std::vector<unsigned char>& record, const std::string& key = "") {
    char name[256] = {};
    std::memcpy(name, key.empty() ? path_.c_str() : key.c_str(),
                key.empty() ? path_.size() : key.size());
    uint32_t length = static_cast<uint32_t>(record.size());
    return BTRCALL(op, rawBlock_, record.data(), &length, name, 255, 0);
  }

  // An older-layout record built byte by byte: key, a mark that is not '1',
  // fifty pairs, a double, and a marker byte in each block behind the table.
  static std::vector<unsigned char> OlderRecord(const char* patient, const char* sub) {
    std::vector<unsigned char> r(kPointLatRecordLength, 0);
    std::memcpy(r.data(), patient, std::strlen(patient));
    std::memcpy(r.data() + 21, sub, std::strlen(sub));
    r[55] = '0';
    for (int pair = 0; pair < 50; ++pair) {
      const int32_t x = pair * 10, y = -pair;
      std::memcpy(r.data() + 64 + 8 * pair, &x, 4);
      std::memcpy(r.data() + 68 + 8 * pair, &y, 4);
    }
    const double angle = 12.5;
    std::memcpy(r.data() + 464, &angle, 8);
    for (int older : {472, 572, 1176, 1976, 1984, 2464, 2472, 2792, 2832}) {
      r[older] = static_cast<unsigned char>(older % 251);
    }
    r[2891] = 0xEE;  // the end of the 15-unit block, last byte carried over
    r[2892] = 0xAB;  // the first byte of the older tail, dropped
    return r;
  }

  TempDir dir_;
  std::string path_;
  char rawBlock_[B_POSITION_BLOCK_SIZE] = {};
  MessageBoxRecorder boxes_;
};

TEST_F(PointLatFile, OlderRecordsAreUpgradedOnReadAndStoredCurrentWhenWritten) {
  std::vector<unsigned char> older = OlderRecord("0000000001", "LAT");
  ASSERT_EQ(Raw(B_OPEN, older), 0);
  ASSERT_EQ(Raw(B_INSERT, older), 0);

  TestRecord rec("POINTLAT_DB", path_.c_str(), 32);  // key 0: patient key and sub-key
  ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  char key[32] = {};
  std::strcpy(key, "0000000001");
  std::strcpy(key + 21, "LAT");
  rec.SetKeyBuffer(key, sizeof key);
  ASSERT_EQ(rec.GetEQ(), 0);

  const unsigned char* got = reinterpret_cast<unsigned char*>(rec.record());
  EXPECT_EQ(got[55], '1');
  EXPECT_EQ(std::memcmp(got, older.data(), 55), 0);
  EXPECT_EQ(std::memcmp(got + 64, older.data() + 64, 400), 0);
  for (int i = 464; i < 504; ++i) ASSERT_EQ(got[i], 0) << "byte " << i;
  double angle = 0;
  std::memcpy(&angle, got + 504, 8);
  EXPECT_EQ(angle, 12.5);
  for (int older_offset : {472, 572, 1176, 1976, 1984, 2464, 2472, 2792, 2832}) {
    EXPECT_EQ(got[older_offset + 40], older_offset % 251) << "block at " << older_offset;
  }
  EXPECT_EQ(got[2931], 0xEE);
  EXPECT_EQ(got[2932], 0);  // the older record's byte at 2932, not its tail

  // Positional reads hand the record over as stored.
  const unsigned long position = rec.GetPosition();
  ASSERT_EQ(rec.GetByPosition(position), 0);
  EXPECT_EQ(std::memcmp(rec.record(), older.data(), kPointLatRecordLength), 0);

  // Read by key again and written back: the file now holds the current layout.
  ASSERT_EQ(rec.GetEQ(), 0);
  const std::vector<unsigned char> upgraded(rec.record(), rec.record() + kPointLatRecordLength);
  ASSERT_EQ(rec.Update(), 0);
  std::vector<unsigned char> stored(kPointLatRecordLength);
  ASSERT_EQ(Raw(B_GET_EQUAL, stored, std::string(key, sizeof key)), 0);
  EXPECT_EQ(stored, upgraded);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PointLatFile, InsertStoresTheCurrentMarkWhateverTheCallerPutThere) {
  std::vector<unsigned char> scratch(kPointLatRecordLength);
  ASSERT_EQ(Raw(B_OPEN, scratch), 0);

  TestRecord rec("POINTLAT_DB", path_.c_str(), 32);  // key 0: patient key and sub-key
  ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  const std::vector<unsigned char> mine = OlderRecord("0000000002", "PA");
  std::memcpy(rec.record(), mine.data(), mine.size());
  ASSERT_EQ(rec.Insert(), 0);

  std::vector<unsigned char> stored(kPointLatRecordLength);
  char key[32] = {};
  std::strcpy(key, "0000000002");
  std::strcpy(key + 21, "PA");
  ASSERT_EQ(Raw(B_GET_EQUAL, stored, std::string(key, sizeof key)), 0);
  std::vector<unsigned char> expected = mine;
  expected[55] = '1';  // marked, nothing moved
  EXPECT_EQ(stored, expected);
}

}  // namespace
}  // namespace reclink::test
