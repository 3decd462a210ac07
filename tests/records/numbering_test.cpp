// The next number of a patient, one routine for photos, reports, slide shows
// and photo sets: the patient's highest number plus 1, else 1.

#include <gtest/gtest.h>

#include "reclink/records/photo.h"
#include "reclink/records/photo_set.h"
#include "reclink/records/report.h"
#include "record_db.h"

namespace reclink::test {
namespace {

template <class C, class N>
void CheckNextNumber(const std::string& dir, N (C::*method)(char const*)) {
  SCOPED_TRACE(C::kRow.className);
  C object(dir.c_str());
  OpenOk(object);
  auto next = [&](const char* patient) { return static_cast<long>((object.*method)(patient)); };
  EXPECT_EQ(next("P2"), 1);  // empty file
  Store(object, {{0, "P0"}, {21, "0000000003"}});
  Store(object, {{0, "P2"}, {21, "0000000001"}});
  Store(object, {{0, "P2"}, {21, "0000000007"}});
  Store(object, {{0, "P3"}, {21, "0000000020"}});
  EXPECT_EQ(next("P2"), 8);
  EXPECT_EQ(next("P1"), 1);  // between two patients with numbers
  EXPECT_EQ(next("P9"), 1);  // after every patient
  EXPECT_EQ(next("P3"), 21);
  object.Close();
  EXPECT_EQ(next("P3"), 1);  // a failed read counts as none, after its box
}

TEST_F(RecordDbTest, NextNumbersFollowThePatientsHighest) {
  CreateFiles({"PHOTO.BTR", "REPORT.BTR", "SLIDESHOW.BTR", "TZPHOTOEX.BTR"});
  CheckNextNumber(dir(), &CPhotoDB::GetNextPhotoNo);
  CheckNextNumber(dir(), &CReportDB::GetLastReportNo);
  CheckNextNumber(dir(), &CSlideShowDB::GetLastSlideShowNo);
  CheckNextNumber(dir(), &CTZPhotoEXDB::GetLastPhotoEXNo);
  EXPECT_EQ(boxes_.count(), 4u);
}

}  // namespace
}  // namespace reclink::test
