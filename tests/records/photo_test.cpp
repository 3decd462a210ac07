// Photo numbering, sort numbering and the deletion of a patient's photos.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "reclink/btrieve.h"
#include "reclink/records/photo.h"
#include "record_db.h"

namespace reclink::test {
namespace {

class PhotoTest : public RecordDbTest {
 protected:
  void SetUp() override {
    CreateFiles({"PHOTO.BTR"});
    photos_ = std::make_unique<CPhotoDB>(dir().c_str());
    OpenOk(*photos_);
  }
  // Stores photo number of patient in group (g1, g2) with sort number sort.
  void Store(const char* patient, int number, const char* g1 = "", const char* g2 = "",
             int sort = 0) {
    char* record = photos_->GetRecordBuffer();
    std::memset(record, 0, CPhotoDB::kRecordLength);
    PutField(record, 0, patient);
    std::snprintf(record + 21, 11, "%010d", number);
    PutField(record, 32, g1);
    PutField(record, 41, g2);
    std::snprintf(record + 65, 11, "%010d", sort);
    ASSERT_EQ(photos_->Insert(), 0);
  }
  int Count() {
    int n = 0;
    photos_->SetKey(0);
    for (int s = photos_->GetFIRST(); s == 0; s = photos_->GetNEXT()) ++n;
    return n;
  }
  std::unique_ptr<CPhotoDB> photos_;
};

TEST_F(PhotoTest, NextPhotoNumberFollowsThePatientsHighest) {
  EXPECT_EQ(photos_->GetNextPhotoNo("P2"), 1);  // empty file
  Store("P0", 3);
  Store("P2", 1);
  Store("P2", 7);
  Store("P3", 20);
  EXPECT_EQ(photos_->GetNextPhotoNo("P2"), 8);
  EXPECT_STREQ(photos_->GetRecordBuffer() + 21, "0000000007");
  EXPECT_EQ(photos_->GetNextPhotoNo("P1"), 1);  // between two patients with photos
  EXPECT_EQ(photos_->GetNextPhotoNo("P9"), 1);  // after every patient
  EXPECT_EQ(photos_->GetNextPhotoNo("P3"), 21);
  EXPECT_EQ(photos_->GetPhotoData("P2", "0000000005"), 4);
  EXPECT_EQ(std::string(photos_->GetRecordBuffer(), CPhotoDB::kRecordLength),
            std::string(CPhotoDB::kRecordLength, '\0'));
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PhotoTest, NextSortNumberStaysInsideItsGroup) {
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "A"), "0000000000");
  Store("P1", 1, "G1", "A", 5);
  Store("P1", 2, "G1", "A", 41);
  Store("P1", 3, "G1", "A", 17);
  Store("P1", 4, "G1", "B", 90);
  Store("P1", 5, "G2", "A", 80);
  Store("P2", 6, "G1", "A", 99);
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "A"), "0000000042");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "B"), "0000000091");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "C"), "0000000000");  // other groups only
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G0", "A"), "0000000000");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P0", "G1", "A"), "0000000000");
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PhotoTest, DeletingAPatientsPhotosLeavesTheNeighbours) {
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), -1);  // empty file
  Store("P1", 1);
  Store("P2", 1);
  Store("P2", 2);
  Store("P2", 3);
  Store("P3", 1);
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P25"), -1);
  EXPECT_EQ(Count(), 5);
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 0);
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(photos_->GetPhotoData("P1", "0000000001"), 0);
  EXPECT_EQ(photos_->GetPhotoData("P3", "0000000001"), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PhotoTest, AFailedDeleteDoesNotStopTheOthers) {
  Store("P2", 1);
  Store("P2", 2);
  Store("P2", 3);
  ScriptedBtrieve script;
  script.Script(B_DELETE, {80});
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 0);  // the last delete succeeded
  EXPECT_EQ(script.CountOf(B_DELETE), 3u);
  EXPECT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(Count(), 1);

  script.Script(B_DELETE, {80});
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 80);  // the only delete failed
}

TEST_F(PhotoTest, AFileThatIsNotOpenGivesTheEmptyResults) {
  photos_->Close();
  EXPECT_EQ(photos_->GetNextPhotoNo("P1"), 1);
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G", "A"), "0000000000");
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P1"), -1);
  EXPECT_EQ(boxes_.count(), 3u);
}

}  // namespace
}  // namespace reclink::test
