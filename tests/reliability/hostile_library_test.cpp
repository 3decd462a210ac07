// Damaged and foreign record files seen through the record classes: the
// failure reaches the caller as a status after its box, and an I/O error
// leaves its line in the log beside the file.

#include <gtest/gtest.h>

#include <regex>

#include "os_util.h"
#include "reclink/database.h"
#include "reclink/records/patient.h"
#include "support/btr_file.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// 300 patients, stored in one transaction.
void FillPatients(const std::string& path) {
  BtrFile f;
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  for (int n = 1; n <= 300; ++n) {
    char number[11];
    std::snprintf(number, sizeof number, "%010d", n);
    ASSERT_EQ(f.Insert(MakeRecord(CPatientDB::kRecordLength, {{0, number}, {21, "PATIENT " + std::to_string(n)}})), 0);
  }
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  f.Close();
  Tx(B_RESET);
}

const std::regex kLogLine(R"((\d{4}/\d{2}/\d{2} : PATIENT_DB\r\n)+)");

TEST(HostileFilesThroughTheLibrary, ADamagedPatientFileGivesStatus2ABoxAndALogLine) {
  TempDir dir;
  ASSERT_EQ(CreateRecordFile(dir.dir().c_str(), "PATIENT1.BTR"), 0);
  std::string path = dir.file("PATIENT1.BTR");
  FillPatients(path);
  ASSERT_TRUE(Overwrite(path, SizeOf(path) / 2 & ~off_t{4095}, RandomBytes(16384, 7)));

  MessageBoxRecorder boxes;
  CPatientDB patients(dir.dir().c_str());
  int st = patients.Open(BTR_OPEN_NORMAL);
  if (st == 0) {
    int n = 0;
    patients.SetKey(0);
    for (st = patients.GetFIRST(); st == 0 && n < 1000; st = patients.GetNEXT()) ++n;
    EXPECT_LT(n, 300) << "every patient read back from a damaged file";
    EXPECT_EQ(st, B_IO_ERROR);
  } else {
    EXPECT_EQ(patients.GetLastStatus(), B_IO_ERROR);
  }
  ASSERT_GE(boxes.count(), 1u);
  EXPECT_NE(boxes.calls().back().text.find("PATIENT_DB"), std::string::npos);
  EXPECT_NE(boxes.calls().back().text.find("Status = 2"), std::string::npos);
  EXPECT_TRUE(std::regex_match(ReadText(dir.file("io_error.txt")), kLogLine))
      << ReadText(dir.file("io_error.txt"));
}

TEST(HostileFilesThroughTheLibrary, AForeignFileInPlaceOfThePatientFileFailsToOpenAfterItsBox) {
  TempDir dir;
  std::ofstream(dir.file("PATIENT1.BTR"), std::ios::binary) << "not a record file\r\n\x1a";
  MessageBoxRecorder boxes;
  CPatientDB patients(dir.dir().c_str());
  EXPECT_EQ(patients.Open(BTR_OPEN_NORMAL), -1);
  int st = patients.GetLastStatus();
  EXPECT_TRUE(st == B_IO_ERROR || st == B_NOT_A_BTRIEVE_FILE) << st;
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_NE(boxes.calls()[0].text.find("Status = " + std::to_string(st)), std::string::npos);
  // Only an I/O error is logged.
  std::string log = ReadText(dir.file("io_error.txt"));
  if (st == B_IO_ERROR) {
    EXPECT_TRUE(std::regex_match(log, kLogLine)) << log;
  } else {
    EXPECT_EQ(log, "");
  }
  EXPECT_EQ(patients.GetPatientData("0000000001"), B_FILE_NOT_OPEN);
}

}  // namespace
}  // namespace reclink::test
