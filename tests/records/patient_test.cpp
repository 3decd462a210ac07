// Patient and owner records: numbering inside a transaction, search by name
// and kana, look-up by patient ID, update and delete inside transactions, the
// owner check.

#include "reclink/records/patient.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <tuple>

#include "reclink/btrieve.h"
#include "reclink/records/owner.h"
#include "record_db.h"

namespace reclink::test {
namespace {

constexpr int kName = 21;        // patient name
constexpr int kKana = 62;        // kana name
constexpr int kPatientId = 103;  // the field of key 3
constexpr int kExcluded = 156;   // 1 = left out of the name searches

class PatientTest : public DatabaseTest {
 protected:
  void SetUp() override { CreateAndOpen({&patients_}); }
  char* record() { return patients_.GetRecordBuffer(); }
  void Clear() { std::memset(record(), 0, CPatientDB::kRecordLength); }
  // Stores a patient with Insert, bypassing the numbering; the kana name is
  // the name in lower case.
  void StorePatient(const char* number, const char* name = "", bool excluded = false) {
    std::string kana = name;
    for (char& ch : kana) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    Store(patients_,
          {{0, number}, {kName, name}, {kKana, kana.c_str()}, {kExcluded, excluded ? "\1" : ""}});
  }
  CPatientDB patients_{dir().c_str()};
};

TEST_F(PatientTest, InsertNumbersAfterTheLastPatientAndKeepsTheCallersRecord) {
  StorePatient("0000000041");
  std::memset(record(), 'q', CPatientDB::kRecordLength);
  PutField(record(), 0, "xx");
  char caller[CPatientDB::kRecordLength];
  std::memcpy(caller, record(), sizeof caller);
  ASSERT_EQ(patients_.InsertPatientData(), 0);
  EXPECT_STREQ(record(), "0000000042");
  EXPECT_EQ(std::memcmp(record() + 11, caller + 11, sizeof caller - 11), 0);
  ASSERT_EQ(patients_.GetPatientData("0000000042"), 0);  // stored as the caller made it
  EXPECT_EQ(std::memcmp(record() + 11, caller + 11, sizeof caller - 11), 0);

  StorePatient("ABC");  // sorts after every ten-digit number and reads as 0
  Clear();
  EXPECT_EQ(patients_.InsertPatientData(), 0);  // 1, which is free
  Clear();
  EXPECT_EQ(patients_.InsertPatientData(), 5);  // 1 again, now taken
  EXPECT_STREQ(record(), "0000000001");
  EXPECT_EQ(boxes_.count(), 0u);
  EXPECT_EQ(patients_.DeletePatientData("ABC"), 0);  // the failed insert's transaction has ended
}

// Each write in its own transaction, whichever step fails: a Begin that fails
// (inside the caller's transaction, say) writes nothing and gives -1; a failed
// write is aborted and its status returned; an End that fails after the write
// still gives 0. Every failure shows its box.
TEST_F(PatientTest, WritesInTheirOwnTransactionsWhicheverStepFails) {
  const struct {
    uint16_t write;
    int (*run)(CPatientDB&);
  } writes[] = {
      {B_INSERT, [](CPatientDB& p) { return p.InsertPatientData(); }},
      {B_UPDATE, [](CPatientDB& p) { return p.UpdatePatientData(); }},
      {B_DELETE, [](CPatientDB& p) { return p.DeletePatientData("0000000001"); }},
  };
  for (const auto& w : writes) {
    for (const auto& [op, status, result] : {std::tuple<uint16_t, int, int>{B_BEGIN_TRAN, 37, -1},
                                             {w.write, 46, 46},
                                             {B_END_TRAN, 39, 0}}) {
      SCOPED_TRACE(std::to_string(w.write) + " fails at " + std::to_string(op));
      boxes_.clear();
      DeleteAll(patients_);
      StorePatient("0000000001", "One");
      ASSERT_EQ(patients_.GetPatientData("0000000001"), 0);
      ScriptedBtrieve script;
      script.Script(op, {status});
      EXPECT_EQ(w.run(patients_), result);
      EXPECT_EQ(script.CountOf(w.write), op == B_BEGIN_TRAN ? 0u : 1u);
      EXPECT_EQ(script.CountOf(B_ABORT_TRAN), result > 0 ? 1u : 0u);
      ASSERT_EQ(boxes_.count(), 1u);
      EXPECT_NE(boxes_.calls()[0].text.find("Status = " + std::to_string(status)),
                std::string::npos);
      patients_.AbortTran();  // what a failed End left open
    }
  }
}

TEST_F(PatientTest, NameAndKanaSearchSkipExcludedPatientsAndNeedTheWholeName) {
  StorePatient("0000000001", "ABCD");
  StorePatient("0000000002", "Hidden", true);
  StorePatient("0000000003", "Hidden", true);
  StorePatient("0000000004", "Sato", true);
  StorePatient("0000000005", "Sato");
  StorePatient("0000000006", "Tanaka", true);
  StorePatient("0000000007", "Ueda");
  StorePatient("0000000008", "Zed", true);

  EXPECT_EQ(patients_.GetPatientDataByName("ABCD"), 0);
  EXPECT_STREQ(record(), "0000000001");
  EXPECT_EQ(patients_.GetPatientDataByName("ABC"), -1);
  EXPECT_EQ(patients_.GetPatientDataByName("Hidden"), -1);  // only excluded patients
  EXPECT_EQ(patients_.GetPatientDataByName("Sato"), 0);     // the excluded one is passed over
  EXPECT_EQ(patients_.GetPatientDataByName("Tanaka"), -1);  // Ueda comes first after it
  EXPECT_EQ(patients_.GetPatientDataByName("Zed"), -1);     // the end of the file comes first
  EXPECT_EQ(patients_.GetPatientDataByName("Zz"), -1);      // nothing at or after it

  EXPECT_EQ(patients_.GetPatientDataByKana("sato"), 0);
  EXPECT_EQ(patients_.GetPatientDataByKana("Sato"), -1);  // case counts

  patients_.Close();  // a read that fails otherwise than at the end: its box, and -1
  EXPECT_EQ(patients_.GetPatientDataByName("Sato"), -1);
  ASSERT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "RecLinkDLL ERROR:\n\nPATIENT_DB BO_GETGREQ Status = 3\n\n");
}

TEST_F(PatientTest, LookUpByIdAndUpdateAndDeleteFindTheirPatient) {
  StorePatient("0000000001", "One");
  StorePatient("0000000002", "Two");
  ASSERT_EQ(patients_.GetPatientData("0000000002"), 0);
  PutField(record(), kPatientId, "ID-77");
  PutField(record(), kName, "Renamed");
  ASSERT_EQ(patients_.UpdatePatientData(), 0);
  EXPECT_EQ(patients_.GetPatientDataByID("ID-77"), 0);
  EXPECT_STREQ(record(), "0000000002");
  EXPECT_EQ(patients_.GetPatientDataByID("ID-7"), 4);
  PutField(record(), 0, "0000000009");  // not stored: Update finds nothing
  EXPECT_EQ(patients_.UpdatePatientData(), 4);

  ASSERT_EQ(patients_.GetPatientData("0000000002"), 0);
  EXPECT_EQ(patients_.DeletePatientData(), 0);
  EXPECT_EQ(patients_.DeletePatientData("0000000005"), 4);
  EXPECT_EQ(patients_.DeletePatientData("0000000001"), 0);
  EXPECT_EQ(CountRecords(patients_), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(DatabaseTest, OwnerCheckAndLookUpByName) {
  COwnerDB owners(dir().c_str());
  CreateAndOpen({&owners});
  EXPECT_EQ(owners.IsOwnerValid(), 0);
  Store(owners, {{0, "B001"}, {5, "Second Clinic"}});
  Store(owners, {{0, "A001"}, {5, "First Clinic"}});
  std::memset(owners.GetRecordBuffer(), 'x', COwnerDB::kRecordLength);
  EXPECT_EQ(owners.IsOwnerValid(), 1);
  EXPECT_STREQ(owners.GetRecordBuffer(), "A001");
  EXPECT_EQ(owners.GetOwnerDataByName("Second Clinic"), 0);
  EXPECT_STREQ(owners.GetRecordBuffer(), "B001");
  EXPECT_EQ(owners.GetOwnerDataByName("Second"), 4);
  owners.Close();
  EXPECT_EQ(owners.IsOwnerValid(), 0);  // the failed read's box, and no owner
  EXPECT_EQ(boxes_.count(), 1u);
}

}  // namespace
}  // namespace reclink::test
