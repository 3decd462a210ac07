// The groups of records the classes walk: the cascading deletes of all
// photos of a patient, all image items of a photo set (the text items go the
// same way) and all treatment items of a surgery, each deleting exactly its
// group, the photo and photo-set cascades going on after a failed delete, the
// treatment cascade stopping at it; and the enumerations of a photo set's
// items into the caller's array, releasing what it held.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "reclink/bitmap.h"
#include "reclink/btrieve.h"
#include "reclink/records/photo.h"
#include "reclink/records/photo_set.h"
#include "reclink/records/surgery.h"
#include "record_db.h"

namespace reclink::test {
namespace {

class CascadeTest : public DatabaseTest {
 protected:
  void SetUp() override { CreateAndOpen({&photos, &images, &items}); }
  CPhotoDB photos{dir().c_str()};
  CTZPhotoEXImgDB images{dir().c_str()};
  CSurgeryTreatmentDB items{dir().c_str()};
};

TEST_F(CascadeTest, EachDeletesItsGroupAndGoesOnOrStopsAfterAFailedDelete) {
  // A group is a patient's photos, the items of set G of patient P, or the
  // treatment items of surgery (P, S, G); an item is told by its last field.
  struct Cascade {
    const char* name;
    CBaseRecLink& object;
    std::function<void(const char* group, const char* item)> store;
    std::function<int(const char* group)> remove;
    int none;    // what deleting an empty group gives
    bool stops;  // at the first failed delete
  };
  const Cascade cascades[] = {
      {"photos", photos,
       [&](const char* g, const char* i) { Store(photos, {{0, g}, {21, i}}); },
       [&](const char* g) { return photos.DeletePhotoOfPatient(g); }, -1, false},
      {"image items", images,
       [&](const char* g, const char* i) { Store(images, {{0, "P"}, {21, g}, {32, i}}); },
       [&](const char* g) { return images.DeleteAllItemOf("P", g); }, 0, false},
      {"treatment items", items,
       [&](const char* g, const char* i) { Store(items, {{0, "P"}, {21, "S"}, {32, g}, {43, i}}); },
       [&](const char* g) { return items.DeleteAllItemOf("P", "S", g); }, 0, true},
  };
  for (const Cascade& c : cascades) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    EXPECT_EQ(c.remove("G2"), c.none);                                  // an empty file
    for (const char* group : {"G1", "G25", "G3"}) c.store(group, "1");  // neighbours
    for (const char* item : {"1", "2", "3"}) c.store("G2", item);
    EXPECT_EQ(c.remove("G0"), c.none);  // a group not there
    EXPECT_EQ(c.remove("G2"), 0);
    EXPECT_EQ(CountRecords(c.object), 3);
    EXPECT_EQ(boxes_.count(), 0u);
    for (const char* item : {"1", "2", "3"}) c.store("G2", item);

    // The first delete reaches the file but reports a failure.
    ScriptedBtrieve script;
    script.ScriptAfter(B_DELETE, {80});
    EXPECT_EQ(c.remove("G2"), c.stops ? 80 : 0);  // the status of the last delete
    EXPECT_EQ(script.CountOf(B_DELETE), c.stops ? 1u : 3u);
    EXPECT_EQ(CountRecords(c.object), c.stops ? 5 : 3);
    EXPECT_EQ(boxes_.count(), 1u);
    c.object.Close();  // nothing can be read: nothing deleted, after the box
    EXPECT_EQ(c.remove("G2"), c.none);
  }
}

// The application's bitmaps in these tests: integers it allocates; the
// release function records and frees them.
std::vector<int> g_released;
void ReleaseTestBitmap(BitmapHandle bitmap) {
  g_released.push_back(*static_cast<int*>(bitmap));
  delete static_cast<int*>(bitmap);
}

// Where the tests mark each item record with its patient, set and item.
constexpr int kImageMark = CTZPhotoEXImgDB::kRecordLength - 40;
constexpr int kTextMark = CTZPhotoEXTextDB::kRecordLength - 40;

class PhotoSetTest : public DatabaseTest {
 protected:
  void SetUp() override {
    CreateAndOpen({&images_, &texts_});
    previous_ = SetBitmapReleaseFunction(ReleaseTestBitmap);
    g_released.clear();
    // Items (patient, set, item), each marked at the end of its record.
    const char* items[][3] = {{"P1", "0000000001", "00001"},
                              {"P1", "0000000001", "00002"},
                              {"P1", "0000000002", "00001"},
                              {"P2", "0000000001", "00001"},
                              {"P0", "0000000001", "00009"}};
    for (auto& [patient, set, item] : items) {
      std::string mark = std::string(patient) + "/" + set + "/" + item;
      Store(images_, {{0, patient}, {21, set}, {32, item}, {kImageMark, mark.c_str()}});
      Store(texts_, {{0, patient}, {21, set}, {32, item}, {kTextMark, mark.c_str()}});
    }
  }
  void TearDown() override { SetBitmapReleaseFunction(previous_); }

  CTZPhotoEXImgDB images_{dir().c_str()};
  CTZPhotoEXTextDB texts_{dir().c_str()};
  BitmapReleaseFunction previous_ = nullptr;
};

const char* ImageMark(const CPtrArray& array, int i) {
  return static_cast<ImageListEntry*>(array[i])->record + kImageMark;
}

TEST_F(PhotoSetTest, EnumerationsReleaseWhatTheArrayHeldAndCopyTheItemsOfOneSet) {
  CPtrArray array;
  array.Add(new ImageListEntry{});
  auto* withBitmap = new ImageListEntry{};
  withBitmap->bitmap = new int(77);
  array.Add(withBitmap);
  array.Add(nullptr);
  array.Add(new ImageListEntry{});
  ASSERT_EQ(images_.EnumImages("P1", "0000000001", &array), 2);
  EXPECT_EQ(g_released, std::vector<int>{77});
  ASSERT_EQ(array.GetSize(), 2);
  EXPECT_STREQ(ImageMark(array, 0), "P1/0000000001/00001");
  EXPECT_STREQ(ImageMark(array, 1), "P1/0000000001/00002");
  EXPECT_EQ(static_cast<ImageListEntry*>(array[0])->bitmap, nullptr);

  EXPECT_EQ(images_.EnumImages("P1", "0000000001", nullptr), -1);
  EXPECT_EQ(array.GetSize(), 2);
  EXPECT_EQ(images_.EnumImages("P1", "0000000003", &array), 0);  // no such set
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(boxes_.count(), 0u);

  // A failed step ends the enumeration; what it made stays in the array.
  {
    ScriptedBtrieve script;
    script.ScriptAfter(B_GET_NEXT, {2});
    EXPECT_EQ(images_.EnumImages("P1", "0000000001", &array), 1);
    EXPECT_EQ(array.GetSize(), 1);
    EXPECT_EQ(boxes_.count(), 1u);
  }
  images_.EnumImages("P9", "", &array);

  array.Add(nullptr);
  array.Add(new TextListEntry{});
  ASSERT_EQ(texts_.EnumText("P1", "0000000001", &array), 2);
  ASSERT_EQ(array.GetSize(), 2);
  EXPECT_STREQ(static_cast<TextListEntry*>(array[1])->record + kTextMark, "P1/0000000001/00002");
  texts_.EnumText("P9", "", &array);

  // On a file that is not open: what the array held is released all the same,
  // and the failed read ends the enumeration after its box.
  array.Add(new ImageListEntry{});
  images_.Close();
  EXPECT_EQ(images_.EnumImages("P1", "0000000001", &array), 0);
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(boxes_.count(), 2u);
}

}  // namespace
}  // namespace reclink::test
