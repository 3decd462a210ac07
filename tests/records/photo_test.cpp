// Photo sort numbering and the deletion of a patient's photos.

#include "reclink/records/photo.h"

#include <gtest/gtest.h>

#include <memory>

#include "reclink/btrieve.h"
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
  // Stores photo number of patient, in group (g1, g2) with sort number sort.
  void StorePhoto(const char* patient, const char* number, const char* g1 = "", const char* g2 = "",
                  const char* sort = "0000000000") {
    Store(*photos_, {{0, patient}, {21, number}, {32, g1}, {41, g2}, {65, sort}});
  }
  std::unique_ptr<CPhotoDB> photos_;
};

TEST_F(PhotoTest, NextSortNumberStaysInsideItsGroup) {
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "A"), "0000000000");
  StorePhoto("P1", "0000000001", "G1", "A", "0000000005");
  StorePhoto("P1", "0000000002", "G1", "A", "0000000041");
  StorePhoto("P1", "0000000003", "G1", "A", "0000000017");
  StorePhoto("P1", "0000000004", "G1", "B", "0000000090");
  StorePhoto("P1", "0000000005", "G2", "A", "0000000080");
  StorePhoto("P2", "0000000006", "G1", "A", "0000000099");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "A"), "0000000042");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "B"), "0000000091");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "C"), "0000000000");  // other groups only
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G0", "A"), "0000000000");
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P0", "G1", "A"), "0000000000");
  EXPECT_EQ(boxes_.count(), 0u);
  photos_->Close();
  EXPECT_STREQ(photos_->GetPhotoNextSortNo("P1", "G1", "A"), "0000000000");
  EXPECT_EQ(boxes_.count(), 1u);
}

TEST_F(PhotoTest, DeletingAPatientsPhotosLeavesTheNeighboursAndGoesOnAfterAFailure) {
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), -1);  // empty file
  StorePhoto("P1", "0000000001");
  for (const char* number : {"0000000001", "0000000002", "0000000003"}) StorePhoto("P2", number);
  StorePhoto("P3", "0000000001");
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P25"), -1);
  EXPECT_EQ(CountRecords(*photos_), 5);
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 0);
  EXPECT_EQ(CountRecords(*photos_), 2);
  EXPECT_EQ(photos_->GetPhotoData("P1", "0000000001"), 0);
  EXPECT_EQ(photos_->GetPhotoData("P3", "0000000001"), 0);
  EXPECT_EQ(boxes_.count(), 0u);

  for (const char* number : {"0000000001", "0000000002", "0000000003"}) StorePhoto("P2", number);
  ScriptedBtrieve script;
  script.Script(B_DELETE, {80});
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 0);  // the last delete succeeded
  EXPECT_EQ(script.CountOf(B_DELETE), 3u);
  EXPECT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(CountRecords(*photos_), 3);
  script.Script(B_DELETE, {80});
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), 80);  // the only delete failed
  photos_->Close();
  EXPECT_EQ(photos_->DeletePhotoOfPatient("P2"), -1);
  EXPECT_EQ(boxes_.count(), 3u);
}

}  // namespace
}  // namespace reclink::test
