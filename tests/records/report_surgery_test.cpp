// Report and slide-show numbering, and the deletion of a surgery's treatment items.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "reclink/btrieve.h"
#include "reclink/records/report.h"
#include "reclink/records/surgery.h"
#include "record_db.h"

namespace reclink::test {
namespace {

void StoreNumbered(CBaseRecLink& file, char* record, const char* patient, const char* number) {
  std::memset(record, 0, file.GetDataLength());
  PutField(record, 0, patient);
  PutField(record, 21, number);
  ASSERT_EQ(file.Insert(), 0);
}

TEST_F(RecordDbTest, ReportAndSlideShowNumbersEachFollowTheirOwnFile) {
  CreateFiles({"REPORT.BTR", "SLIDESHOW.BTR"});
  CReportDB reports(dir().c_str());
  CSlideShowDB shows(dir().c_str());
  OpenOk(reports);
  OpenOk(shows);
  EXPECT_EQ(reports.GetLastReportNo("P2"), 1u);
  EXPECT_EQ(shows.GetLastSlideShowNo("P2"), 1u);

  for (const char* n : {"0000000001", "0000000002", "0000000003"})
    StoreNumbered(reports, reports.GetRecordBuffer(), "P2", n);
  StoreNumbered(reports, reports.GetRecordBuffer(), "P1", "0000000009");
  StoreNumbered(reports, reports.GetRecordBuffer(), "P4", "0000000009");
  StoreNumbered(shows, shows.GetRecordBuffer(), "P2", "0000000010");

  EXPECT_EQ(reports.GetLastReportNo("P2"), 4u);
  EXPECT_EQ(reports.GetLastReportNo("P3"), 1u);  // between patients with reports
  EXPECT_EQ(reports.GetLastReportNo("P0"), 1u);  // before every patient
  EXPECT_EQ(shows.GetLastSlideShowNo("P2"), 11u);
  EXPECT_EQ(shows.GetLastSlideShowNo("P1"), 1u);  // reports do not count
  EXPECT_EQ(reports.GetReportData("P2", "0000000003"), 0);
  EXPECT_EQ(shows.GetSlideShowData("P2", "0000000003"), 4);
  EXPECT_EQ(boxes_.count(), 0u);

  reports.Close();
  EXPECT_EQ(reports.GetLastReportNo("P2"), 1u);  // a failed read counts as none
  EXPECT_EQ(boxes_.count(), 1u);
}

class TreatmentTest : public RecordDbTest {
 protected:
  void SetUp() override {
    CreateFiles({"SURGERYTREATMENT.BTR"});
    items_ = std::make_unique<CSurgeryTreatmentDB>(dir().c_str());
    OpenOk(*items_);
    const char* rows[][4] = {
        {"P1", "S1", "A", "0001"}, {"P1", "S1", "A", "0002"}, {"P1", "S1", "A", "0003"},
        {"P1", "S1", "B", "0001"}, {"P1", "S2", "A", "0001"}, {"P2", "S1", "A", "0001"},
        {"P0", "S1", "A", "0009"}};
    for (auto& row : rows) {
      char* record = items_->GetRecordBuffer();
      std::memset(record, 0, CSurgeryTreatmentDB::kRecordLength);
      PutField(record, 0, row[0]);
      PutField(record, 21, row[1]);
      PutField(record, 32, row[2]);
      PutField(record, 43, row[3]);
      ASSERT_EQ(items_->Insert(), 0);
    }
  }
  int Count() {
    int n = 0;
    items_->SetKey(0);
    for (int s = items_->GetFIRST(); s == 0; s = items_->GetNEXT()) ++n;
    return n;
  }
  std::unique_ptr<CSurgeryTreatmentDB> items_;
};

TEST_F(TreatmentTest, DeletesTheItemsOfExactlyOneSurgery) {
  EXPECT_EQ(items_->DeleteAllItemOf("P1", "S1", "C"), 0);  // no items
  EXPECT_EQ(Count(), 7);
  EXPECT_EQ(items_->DeleteAllItemOf("P1", "S1", "A"), 0);
  EXPECT_EQ(Count(), 4);
  EXPECT_EQ(items_->GetSurgeryTreamentData("P1", "S1", "B", "0001"), 0);
  EXPECT_EQ(items_->GetSurgeryTreamentData("P1", "S2", "A", "0001"), 0);
  EXPECT_EQ(items_->GetSurgeryTreamentData("P2", "S1", "A", "0001"), 0);
  EXPECT_EQ(items_->GetSurgeryTreamentData("P0", "S1", "A", "0009"), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(TreatmentTest, StopsAtTheFirstDeleteThatFails) {
  ScriptedBtrieve script;
  script.ScriptAfter(B_DELETE, {0, 80});
  EXPECT_EQ(items_->DeleteAllItemOf("P1", "S1", "A"), 80);
  EXPECT_EQ(script.CountOf(B_DELETE), 2u);
  EXPECT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(Count(), 5);  // both reached the file; the third item stays
  EXPECT_EQ(items_->GetSurgeryTreamentData("P1", "S1", "A", "0003"), 0);
}

}  // namespace
}  // namespace reclink::test
