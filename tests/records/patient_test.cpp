// Patient and owner records: numbering inside a transaction, search by name
// and kana, update and delete inside transactions, the owner check.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "reclink/records/owner.h"
#include "reclink/records/patient.h"
#include "record_db.h"

namespace reclink::test {
namespace {

constexpr int kName = 21;        // patient name
constexpr int kKana = 62;        // kana name
constexpr int kPatientId = 103;  // the field of key 3
constexpr int kExcluded = 156;   // 1 = left out of the name searches

class PatientTest : public RecordDbTest {
 protected:
  void SetUp() override {
    CreateFiles({"PATIENT1.BTR"});
    patients_ = std::make_unique<CPatientDB>(dir().c_str());
    OpenOk(*patients_);
  }
  char* record() { return patients_->GetRecordBuffer(); }
  // Stores a patient with Insert, bypassing the numbering.
  void Store(const char* number, const char* name, const char* kana, bool excluded = false) {
    std::memset(record(), 0, CPatientDB::kRecordLength);
    PutField(record(), 0, number);
    PutField(record(), kName, name);
    PutField(record(), kKana, kana);
    record()[kExcluded] = excluded ? 1 : 0;
    ASSERT_EQ(patients_->Insert(), 0) << number;
  }
  std::unique_ptr<CPatientDB> patients_;
};

TEST_F(PatientTest, NumbersStartAtOneAndFollowTheLastPatient) {
  EXPECT_STREQ(patients_->GetNextPatientID(), "0000000001");

  std::memset(record(), 0, CPatientDB::kRecordLength);
  std::memcpy(record() + 11, "behind", 6);  // bytes 11 to 20 of the number field
  PutField(record(), kName, "First");
  record()[CPatientDB::kRecordLength - 1] = 'Z';
  ASSERT_EQ(patients_->InsertPatientData(), 0);
  EXPECT_STREQ(record(), "0000000001");
  EXPECT_EQ(std::memcmp(record() + 11, "behind", 6), 0);

  for (int i = 2; i <= 41; ++i) {
    std::memset(record(), 0, CPatientDB::kRecordLength);
    ASSERT_EQ(patients_->InsertPatientData(), 0);
  }
  EXPECT_STREQ(patients_->GetNextPatientID(), "0000000042");
  EXPECT_STREQ(record(), "0000000041");  // the patient read last stays in the buffer

  std::memset(record(), 'q', CPatientDB::kRecordLength);
  PutField(record(), 0, "xx");
  char caller[CPatientDB::kRecordLength];
  std::memcpy(caller, record(), sizeof caller);
  ASSERT_EQ(patients_->InsertPatientData(), 0);
  EXPECT_STREQ(record(), "0000000042");
  EXPECT_EQ(std::memcmp(record() + 11, caller + 11, sizeof caller - 11), 0);

  ASSERT_EQ(patients_->GetPatientData("0000000001"), 0);
  EXPECT_STREQ(record() + kName, "First");
  EXPECT_EQ(record()[CPatientDB::kRecordLength - 1], 'Z');
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientTest, ALastNumberWithoutDigitsGivesOneWhichCollides) {
  Store("0000000001", "One", "one");
  Store("ABC", "Letters", "letters");  // sorts after every ten-digit number
  EXPECT_STREQ(patients_->GetNextPatientID(), "0000000002");  // stops at 9999999999
  std::memset(record(), 0, CPatientDB::kRecordLength);
  EXPECT_EQ(patients_->InsertPatientData(), 5);
  EXPECT_STREQ(record(), "0000000001");
  EXPECT_EQ(boxes_.count(), 0u);
  // The transaction was aborted: the next one begins.
  EXPECT_EQ(patients_->DeletePatientData("ABC"), 0);
  std::memset(record(), 0, CPatientDB::kRecordLength);
  EXPECT_EQ(patients_->InsertPatientData(), 0);
  EXPECT_STREQ(record(), "0000000002");
}

TEST_F(PatientTest, NoNumberAfterTheLargestSignedThirtyTwoBitValue) {
  Store("2147483646", "Before", "before");
  EXPECT_STREQ(patients_->GetNextPatientID(), "2147483647");
  std::memset(record(), 0, CPatientDB::kRecordLength);
  ASSERT_EQ(patients_->InsertPatientData(), 0);
  EXPECT_STREQ(record(), "2147483647");
  EXPECT_STREQ(patients_->GetNextPatientID(), "");
  std::memset(record(), 0, CPatientDB::kRecordLength);
  EXPECT_EQ(patients_->InsertPatientData(), 5);
  EXPECT_EQ(patients_->GetPatientData("2147483648"), 4);
}

TEST_F(PatientTest, NameAndKanaSearchSkipExcludedPatientsAndNeedTheWholeName) {
  Store("0000000001", "ABCD", "abcd");
  Store("0000000002", "Hidden", "hidden", true);
  Store("0000000003", "Hidden", "hidden", true);
  Store("0000000004", "Sato", "sato", true);
  Store("0000000005", "Sato", "sato");
  Store("0000000006", "Tanaka", "tanaka", true);
  Store("0000000007", "Ueda", "ueda");

  EXPECT_EQ(patients_->GetPatientDataByName("ABCD"), 0);
  EXPECT_STREQ(record(), "0000000001");
  EXPECT_EQ(patients_->GetPatientDataByName("ABC"), -1);
  EXPECT_EQ(patients_->GetPatientDataByName("Hidden"), -1);  // only excluded patients
  EXPECT_EQ(patients_->GetPatientDataByName("Sato"), 0);     // the excluded one is passed over
  EXPECT_STREQ(record(), "0000000005");
  EXPECT_EQ(patients_->GetPatientDataByName("Tanaka"), -1);  // Ueda comes first after it
  EXPECT_EQ(patients_->GetPatientDataByName("Zz"), -1);      // nothing at or after it

  EXPECT_EQ(patients_->GetPatientDataByKana("sato"), 0);
  EXPECT_STREQ(record(), "0000000005");
  EXPECT_EQ(patients_->GetPatientDataByKana("Sato"), -1);  // case counts
  EXPECT_EQ(patients_->GetPatientDataByKana("hidden"), -1);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientTest, LastExcludedPatientEndsTheScanAtEndOfFile) {
  Store("0000000001", "Sato", "sato", true);
  EXPECT_EQ(patients_->GetPatientDataByName("Sato"), -1);
  EXPECT_EQ(patients_->GetPatientDataByKana("sato"), -1);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientTest, PatientIdIsSearchedOnKeyThree) {
  Store("0000000001", "One", "one");
  Store("0000000002", "Two", "two");
  ASSERT_EQ(patients_->GetPatientData("0000000002"), 0);
  PutField(record(), kPatientId, "ID-77");
  ASSERT_EQ(patients_->UpdatePatientData(), 0);
  EXPECT_EQ(patients_->GetPatientDataByID("ID-77"), 0);
  EXPECT_STREQ(record(), "0000000002");
  EXPECT_EQ(patients_->GetPatientDataByID("ID-7"), 4);
}

TEST_F(PatientTest, UpdateAndDeleteRunInTheirOwnTransactions) {
  Store("0000000001", "One", "one");
  Store("0000000002", "Two", "two");

  ASSERT_EQ(patients_->GetPatientData("0000000001"), 0);
  PutField(record(), kName, "Renamed");
  EXPECT_EQ(patients_->UpdatePatientData(), 0);
  ASSERT_EQ(patients_->GetPatientData("0000000001"), 0);
  EXPECT_STREQ(record() + kName, "Renamed");
  EXPECT_EQ(patients_->GetPatientDataByName("One"), -1);

  PutField(record(), 0, "0000000009");  // not stored: Update finds nothing
  EXPECT_EQ(patients_->UpdatePatientData(), 4);

  ASSERT_EQ(patients_->GetPatientData("0000000002"), 0);
  EXPECT_EQ(patients_->DeletePatientData(), 0);
  EXPECT_EQ(patients_->GetPatientData("0000000002"), 4);

  EXPECT_EQ(patients_->DeletePatientData("0000000005"), 4);
  EXPECT_EQ(patients_->DeletePatientData("0000000001"), 0);
  EXPECT_EQ(patients_->GetFIRST(), 9);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PatientTest, InsideACallersTransactionNothingIsWritten) {
  ASSERT_EQ(patients_->BeginTran(), 0);
  std::memset(record(), 0, CPatientDB::kRecordLength);
  EXPECT_EQ(patients_->InsertPatientData(), -1);
  EXPECT_EQ(patients_->UpdatePatientData(), -1);
  EXPECT_EQ(patients_->DeletePatientData(), -1);
  EXPECT_EQ(patients_->DeletePatientData("0000000001"), -1);
  ASSERT_EQ(boxes_.count(), 4u);
  EXPECT_NE(boxes_.calls()[0].text.find("PATIENT_DB BO_BEGINTRAN"), std::string::npos);
  patients_->AbortTran();
  EXPECT_EQ(patients_->GetFIRST(), 9);
}

TEST_F(RecordDbTest, OwnerCheckAndLookUpByName) {
  CreateFiles({"OWNER.BTR"});
  COwnerDB owners(dir().c_str());
  EXPECT_EQ(owners.IsOwnerValid(), 0);  // not open: the box of GetGREQ
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_NE(boxes_.calls()[0].text.find("OWNER_DB BO_GETGREQ Status = 3"), std::string::npos);
  boxes_.clear();

  OpenOk(owners);
  EXPECT_EQ(owners.IsOwnerValid(), 0);
  char* record = owners.GetRecordBuffer();
  const char* rows[][2] = {{"B001", "Second Clinic"}, {"A001", "First Clinic"}};
  for (auto& row : rows) {
    std::memset(record, 0, COwnerDB::kRecordLength);
    PutField(record, 0, row[0]);
    PutField(record, 5, row[1]);
    ASSERT_EQ(owners.Insert(), 0);
  }
  std::memset(record, 'x', COwnerDB::kRecordLength);
  EXPECT_EQ(owners.IsOwnerValid(), 1);
  EXPECT_STREQ(record, "A001");
  EXPECT_EQ(owners.GetOwnerDataByName("Second Clinic"), 0);
  EXPECT_STREQ(record, "B001");
  EXPECT_EQ(owners.GetOwnerDataByName("Second"), 4);
  EXPECT_EQ(boxes_.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
