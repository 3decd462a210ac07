// Record objects on real record-manager files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core_test_util.h"
#include "core/point_lat.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// Patients: number (key 0, unique) at 0, name (key 1, duplicates) at 21, data at 41.
TEST(RealFile, PatientFileThroughEveryOperation) {
  TempDir dir;
  MessageBoxRecorder boxes;
  const std::string path = dir.path() + "\\PATIENT1.BTR";  // the library's separator
  ASSERT_EQ(CreateRecordFile(path, 64, {{{0, 21, 0}}, {{21, 20, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}}), 0);
  auto rec = std::make_unique<TestRecord>("PATIENT_DB", path.c_str(), 21, 64);
  auto fill = [&](const char* number, const char* name, char data) {
    std::memset(rec->record(), 0, 64);
    std::strcpy(rec->record(), number);
    std::strcpy(rec->record() + 21, name);
    std::memset(rec->record() + 41, data, 23);
  };
  auto key = [&](const char* number) { rec->SetKeyBuffer(const_cast<char*>(number), 10); };

  EXPECT_EQ(rec->GetFIRST(), B_FILE_NOT_OPEN);
  TestRecord missing("MISSING_DB", (dir.path() + "\\MISSING.BTR").c_str());
  missing.SetKeyBuffer(const_cast<char*>("saved"), 5);
  EXPECT_EQ(missing.Open(BTR_OPEN_NORMAL), -1);  // the empty name reaches the manager
  EXPECT_EQ(missing.IsOpen(), 0);
  EXPECT_STREQ(missing.GetKeyBuffer(), "saved");
  ASSERT_EQ(rec->Open(BTR_OPEN_NORMAL), 0);
  EXPECT_EQ(rec->GetFIRST(), B_END_OF_FILE);
  EXPECT_EQ(rec->IsEOF(), 1);
  for (const char* n : {"0000000002", "0000000001", "0000000003"}) {
    fill(n, n[9] == '1' ? "SATO" : "SUZUKI", n[9]);
    ASSERT_EQ(rec->Insert(), 0);
  }
  rec->SetKey(1);
  EXPECT_EQ(rec->Insert(), B_DUPLICATE_KEY_VALUE);  // number 3 again
  EXPECT_EQ(rec->GetKeyNumber(), 0);
  key("0000000009");
  EXPECT_EQ(rec->GetEQ(), B_KEY_VALUE_NOT_FOUND);

  // Walk by name: duplicates in the order they joined.
  rec->SetKey(1);
  std::string walk;
  for (int st = rec->GetFIRST(); st == 0; st = rec->GetNEXT()) walk += rec->record()[9];
  EXPECT_EQ(walk, "123");
  EXPECT_EQ(rec->IsEOF(), 1);
  ASSERT_EQ(rec->GetPREV(), 0);
  EXPECT_EQ(rec->IsEOF(), 0);

  // Position: a Get stores it, GetByPosition reads that record again.
  rec->SetKey(0);
  key("0000000001");
  ASSERT_EQ(rec->GetEQ(), 0);
  const unsigned long position = rec->GetPosition();
  ASSERT_EQ(rec->GetLAST(), 0);
  EXPECT_NE(rec->GetPosition(), position);
  ASSERT_EQ(rec->GetByPosition(position), 0);
  EXPECT_EQ(rec->record()[9], '1');

  // Update finds the record again by its number, wherever currency stands.
  ASSERT_EQ(rec->GetLAST(), 0);
  fill("0000000001", "SATO HANAKO", 'z');
  ASSERT_EQ(rec->Update(), 0);
  key("0000000001");
  ASSERT_EQ(rec->GetEQ(), 0);
  EXPECT_STREQ(rec->record() + 21, "SATO HANAKO");
  fill("0000000007", "NOBODY", 'n');
  {
    ScriptedBtrieve counting;  // passes every call through
    EXPECT_EQ(rec->Update(), B_KEY_VALUE_NOT_FOUND);
    EXPECT_EQ(counting.CountOf(B_UPDATE), 0u);
  }

  // A transaction undone; a Delete of the current record.
  ASSERT_EQ(rec->BeginTran(), 0);
  fill("0000000004", "KATO", '4');
  ASSERT_EQ(rec->Insert(), 0);
  EXPECT_EQ(rec->AbortTran(), 0);
  key("0000000002");
  ASSERT_EQ(rec->GetEQ(), 0);
  EXPECT_EQ(rec->Delete(), 0);
  EXPECT_EQ(rec->GetEQ(), B_KEY_VALUE_NOT_FOUND);

  FileDescriptionType info{};
  EXPECT_EQ(rec->GetDBInfo(&info), 0);
  EXPECT_EQ(+info.fileSpec.recordLength, 64);  // packed: read by value
  EXPECT_EQ(+info.fileSpec.numberOfRecords, 2u);
  EXPECT_EQ(rec->GetDataLength(), 64u);

  // A copy closes the shared file; the source's own Close then fails silently.
  { CBaseRecLink copy(*rec); }
  rec->Close();
  EXPECT_NE(rec->GetLastStatus(), 0);
  EXPECT_EQ(rec->GetPosition(), 0u);
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText("PATIENT_DB", "BO_GETFIRST", 3));
  EXPECT_EQ(boxes.calls()[1].text, BoxText("MISSING_DB", "BO_OPEN", missing.GetLastStatus()));
  EXPECT_NE(missing.GetLastStatus(), 0);
}

// Point-lat key 0: patient key (21) and sub-key (11).
TEST(RealFile, PointLatRecordsAreUpgradedOnReadAndStoredCurrentWhenWritten) {
  TempDir dir;
  MessageBoxRecorder boxes;
  const std::string path = dir.file("POINTLAT.BTR");
  ASSERT_EQ(CreateRecordFile(path, 3000, {{{0, 21, 0}, {21, 11, 0}}}), 0);
  char key[32] = "0000000001";
  std::strcpy(key + 21, "LAT");

  // An older record built byte by byte and stored without the library.
  std::vector<unsigned char> older(3000, 0);
  std::memcpy(older.data(), key, sizeof key);
  older[55] = '0';
  for (int32_t pair = 0; pair < 50; ++pair) std::memcpy(&older[64 + 8 * pair], &pair, 4);
  const double angle = 12.5;
  std::memcpy(&older[464], &angle, 8);
  for (int block : {472, 572, 1176, 1976, 1984, 2464, 2472, 2792, 2832}) older[block] = block % 251;
  older[2891] = 0xEE;  // last byte carried over
  older[2892] = 0xAB;  // first byte of the dropped tail
  char raw[128] = {};
  std::string name = path;
  name.resize(255);
  uint32_t length = 3000;
  ASSERT_EQ(BTRCALL(B_OPEN, raw, nullptr, &length, name.data(), 255, 0), 0);
  ASSERT_EQ(BTRCALL(B_INSERT, raw, older.data(), &length, key, 255, 0), 0);

  TestRecord rec("POINTLAT_DB", path.c_str(), 32);
  ASSERT_EQ(rec.Open(BTR_OPEN_NORMAL), 0);
  rec.SetKeyBuffer(key, sizeof key);
  ASSERT_EQ(rec.GetEQ(), 0);
  std::vector<unsigned char> got = rec.bytes();
  std::vector<unsigned char> expected = older;
  std::fill(expected.begin() + 464, expected.begin() + 504, 0);
  std::memcpy(&expected[504], &angle, 8);
  const int blocks[] = {472, 572, 1176, 1976, 1984, 2464, 2472, 2792, 2832};
  for (int block : blocks) expected[block] = 0;
  for (int block : blocks) expected[block + 40] = block % 251;
  expected[2891] = 0;
  expected[2931] = 0xEE;
  expected[2892] = 0;  // now inside the 15-unit block, which was zero
  expected[55] = '1';
  EXPECT_EQ(got, expected);

  ASSERT_EQ(rec.GetByPosition(rec.GetPosition()), 0);  // as stored
  EXPECT_EQ(rec.bytes(), older);

  ASSERT_EQ(rec.GetEQ(), 0);
  ASSERT_EQ(rec.Update(), 0);  // written back: the file holds the current layout
  std::vector<unsigned char> stored(3000);
  ASSERT_EQ(BTRCALL(B_GET_EQUAL, raw, stored.data(), &length, key, 255, 0), 0);
  EXPECT_EQ(stored, expected);

  // An insert is marked current whatever the caller put in byte 55.
  std::memcpy(rec.record(), older.data(), 3000);
  rec.record()[21] = 'P';
  ASSERT_EQ(rec.Insert(), 0);
  key[21] = 'P';
  ASSERT_EQ(BTRCALL(B_GET_EQUAL, raw, stored.data(), &length, key, 255, 0), 0);
  EXPECT_EQ(stored[55], '1');
  EXPECT_EQ(std::memcmp(stored.data() + 56, older.data() + 56, 3000 - 56), 0);
  BTRCALL(B_CLOSE, raw, nullptr, &length, key, 255, 0);
  EXPECT_EQ(boxes.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
