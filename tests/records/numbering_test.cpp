// The numbers the record classes hand out, one rule for all: the highest
// stored number plus 1 (per patient, or per photo group), and no number at all,
// after a box, once that would pass 2147483647. Report and slide-show numbers
// are found exactly as photo-set numbers are.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "reclink/records/patient.h"
#include "reclink/records/photo.h"
#include "reclink/records/photo_set.h"
#include "record_db.h"

namespace reclink::test {
namespace {

class NumberingTest : public DatabaseTest {
 protected:
  void SetUp() override { CreateAndOpen({&patients, &photos, &sets}); }

  CPatientDB patients{dir().c_str()};
  CPhotoDB photos{dir().c_str()};
  CTZPhotoEXDB sets{dir().c_str()};
};

std::string Digits(long n) {
  char text[16];
  std::snprintf(text, sizeof text, "%010ld", n);
  return text;
}

TEST_F(NumberingTest, EachAllocatorFollowsTheHighestAndRefusesPastTheLargest) {
  // One allocator: where it keeps its numbers and what it answers for patient
  // P2 (photo group G1/A), as ten digits or as a number.
  struct Allocator {
    const char* name;
    CBaseRecLink& object;
    char* record;         // object's record buffer
    int numberAt;         // the number's field; patients have no patient key
    bool digits;          // answers in ten digits
    long empty;           // the answer on an empty file
    const char* refused;  // the answer when no number follows the last
    const char* closed;   // the answer when the file is not open; nullptr: as empty
    std::function<std::string()> next;
  };
  const Allocator allocators[] = {
      {"photo number", photos, photos.GetRecordBuffer(), 21, false, 1, "0", nullptr,
       [&] { return std::to_string(photos.GetNextPhotoNo("P2")); }},
      {"photo-set number", sets, sets.GetRecordBuffer(), 21, false, 1, "0", nullptr,
       [&] { return std::to_string(sets.GetLastPhotoEXNo("P2")); }},
      {"sort number", photos, photos.GetRecordBuffer(), 65, true, 0, "", nullptr,
       [&] { return std::string(photos.GetPhotoNextSortNo("P2", "G1", "A")); }},
      {"patient forecast", patients, patients.GetRecordBuffer(), 0, true, 1, "", nullptr,
       [&] { return std::string(patients.GetNextPatientID()); }},
      {"patient insert", patients, patients.GetRecordBuffer(), 0, true, 1, "status 5", "status 3",
       [&] {
         std::memset(patients.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
         const int status = patients.InsertPatientData();
         if (status != 0) return "status " + std::to_string(status);
         const std::string number = patients.GetRecordBuffer();
         EXPECT_EQ(patients.Delete(), 0);  // the file as it was
         return number;
       }},
  };
  for (const Allocator& a : allocators) {
    SCOPED_TRACE(a.name);
    auto expect = [&](long n) { return a.digits ? Digits(n) : std::to_string(n); };
    // Stores a record of patient with number, in its field and as photo number.
    auto store = [&](const char* patient, const char* number) {
      std::memset(a.record, 0, 80);
      for (auto [at, text] : {std::pair<int, const char*>{0, patient},
                              {21, number},
                              {32, "G1"},
                              {41, "A"},
                              {a.numberAt, number}})
        PutField(a.record, at, text);
      ASSERT_EQ(a.object.Insert(), 0) << patient << " " << number;
    };
    DeleteAll(a.object);
    EXPECT_EQ(a.next(), expect(a.empty));
    if (a.numberAt != 0) {
      store("P1", "0000000030");  // other patients' numbers, before and after
      store("P3", "0000000040");
      EXPECT_EQ(a.next(), expect(a.empty));
    }
    store("P2", "0000000001");
    store("P2", "0000000007");
    EXPECT_EQ(a.next(), expect(8));
    DeleteAll(a.object);
    store("P2", "2147483646");
    EXPECT_EQ(a.next(), expect(2147483647));
    for (const char* last : {"2147483647", "9999999999"}) {
      DeleteAll(a.object);
      store("P2", last);
      EXPECT_EQ(a.next(), a.refused) << last;
      // The insert's transaction is aborted after the box.
      if (a.closed == nullptr) {
        EXPECT_EQ(a.object.GetLastStatus(), 5);
      }
      ASSERT_EQ(boxes_.count(), 1u);
      EXPECT_EQ(boxes_.calls()[0].text, "RecLinkDLL ERROR:\n\n" +
                                            std::string(a.object.GetRecordIdent()) +
                                            " BO_INSERT Status = 5\n\n");
      boxes_.clear();
    }
    DeleteAll(a.object);
    a.object.Close();  // a failed read counts as none, after its box
    EXPECT_EQ(a.next(), a.closed != nullptr ? a.closed : expect(a.empty));
    EXPECT_GE(boxes_.count(), 1u);
    boxes_.clear();
    ASSERT_EQ(a.object.Open(BTR_OPEN_NORMAL), 0) << "status " << a.object.GetLastStatus();
  }
}

TEST_F(NumberingTest, SortNumbersCountWithinTheirGroupOnly) {
  for (auto [number, g1, g2, sort] : {std::tuple{"0000000001", "G1", "A", "0000000041"},
                                      {"0000000002", "G1", "A", "0000000017"},
                                      {"0000000003", "G1", "B", "0000000090"},
                                      {"0000000004", "G2", "A", "0000000080"}})
    Store(photos, {{0, "P1"}, {21, number}, {32, g1}, {41, g2}, {65, sort}});
  EXPECT_STREQ(photos.GetPhotoNextSortNo("P1", "G1", "A"), "0000000042");
  EXPECT_STREQ(photos.GetPhotoNextSortNo("P1", "G1", "B"), "0000000091");
  EXPECT_STREQ(photos.GetPhotoNextSortNo("P1", "G1", "C"), "0000000000");  // other groups only
  EXPECT_EQ(boxes_.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
