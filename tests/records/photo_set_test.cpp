// Photo sets: numbering, enumerating the items of a set into the caller's
// array (releasing what it held), and deleting the items of a set.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "reclink/bitmap.h"
#include "reclink/btrieve.h"
#include "reclink/records/photo_set.h"
#include "record_db.h"

namespace reclink::test {
namespace {

// The application's bitmaps in these tests: integers it allocates; the
// release function records and frees them.
std::vector<int> g_released;
void ReleaseTestBitmap(BitmapHandle bitmap) {
  g_released.push_back(*static_cast<int*>(bitmap));
  delete static_cast<int*>(bitmap);
}

class PhotoSetTest : public RecordDbTest {
 protected:
  void SetUp() override {
    CreateFiles({"TZPHOTOEX.BTR", "TZPHOTOEXIMG.BTR", "TZPHOTOEXTEXT.BTR"});
    sets_ = std::make_unique<CTZPhotoEXDB>(dir().c_str());
    images_ = std::make_unique<CTZPhotoEXImgDB>(dir().c_str());
    texts_ = std::make_unique<CTZPhotoEXTextDB>(dir().c_str());
    OpenOk(*sets_);
    OpenOk(*images_);
    OpenOk(*texts_);
    previous_ = SetBitmapReleaseFunction(ReleaseTestBitmap);
    g_released.clear();
  }
  void TearDown() override { SetBitmapReleaseFunction(previous_); }

  // Stores an item (patient, set, item) in both item files, marked at the end.
  void StoreItem(const char* patient, const char* set, const char* item) {
    for (CBaseRecLink* file : {static_cast<CBaseRecLink*>(images_.get()),
                               static_cast<CBaseRecLink*>(texts_.get())}) {
      char* record = file == images_.get() ? images_->GetRecordBuffer() : texts_->GetRecordBuffer();
      size_t length = file->GetDataLength();
      std::memset(record, 0, length);
      PutField(record, 0, patient);
      PutField(record, 21, set);
      PutField(record, 32, item);
      std::string mark = std::string(patient) + "/" + set + "/" + item;
      PutField(record, static_cast<int>(length) - 40, mark.c_str());
      ASSERT_EQ(file->Insert(), 0);
    }
  }
  void StoreThreeSets() {
    StoreItem("P1", "0000000001", "00001");
    StoreItem("P1", "0000000001", "00002");
    StoreItem("P1", "0000000002", "00001");
    StoreItem("P2", "0000000001", "00001");
    StoreItem("P0", "0000000001", "00009");
  }
  std::unique_ptr<CTZPhotoEXDB> sets_;
  std::unique_ptr<CTZPhotoEXImgDB> images_;
  std::unique_ptr<CTZPhotoEXTextDB> texts_;
  BitmapReleaseFunction previous_ = nullptr;
};

const char* Mark(const char* record, int length) { return record + length - 40; }

TEST_F(PhotoSetTest, NextSetNumberFollowsThePatientsHighest) {
  EXPECT_EQ(sets_->GetLastPhotoEXNo("P1"), 1u);
  for (const char* number : {"0000000003", "0000000012"}) {
    char* record = sets_->GetRecordBuffer();
    std::memset(record, 0, CTZPhotoEXDB::kRecordLength);
    PutField(record, 0, "P1");
    PutField(record, 21, number);
    ASSERT_EQ(sets_->Insert(), 0);
  }
  EXPECT_EQ(sets_->GetLastPhotoEXNo("P1"), 13u);
  EXPECT_EQ(sets_->GetLastPhotoEXNo("P0"), 1u);
  EXPECT_EQ(sets_->GetLastPhotoEXNo("P2"), 1u);
  EXPECT_EQ(sets_->GetTZPhotoEXData("P1", "0000000012"), 0);
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PhotoSetTest, EnumImagesReleasesWhatTheArrayHeldAndCopiesTheSet) {
  StoreThreeSets();
  CPtrArray array;
  array.Add(new ImageListEntry{});
  auto* withBitmap = new ImageListEntry{};
  withBitmap->bitmap = new int(77);
  array.Add(withBitmap);
  array.Add(nullptr);
  array.Add(new ImageListEntry{});

  ASSERT_EQ(images_->EnumImages("P1", "0000000001", &array), 2);
  EXPECT_EQ(g_released, std::vector<int>{77});
  ASSERT_EQ(array.GetSize(), 2);
  const int length = CTZPhotoEXImgDB::kRecordLength;
  auto* first = static_cast<ImageListEntry*>(array[0]);
  auto* second = static_cast<ImageListEntry*>(array[1]);
  EXPECT_STREQ(Mark(first->record, length), "P1/0000000001/00001");
  EXPECT_STREQ(Mark(second->record, length), "P1/0000000001/00002");
  EXPECT_EQ(first->bitmap, nullptr);
  EXPECT_EQ(second->bitmap, nullptr);

  // The application keeps a bitmap; the next enumeration releases it.
  first->bitmap = new int(5);
  EXPECT_EQ(images_->EnumImages("P2", "0000000001", &array), 1);
  EXPECT_EQ(g_released, (std::vector<int>{77, 5}));
  ASSERT_EQ(array.GetSize(), 1);
  EXPECT_STREQ(Mark(static_cast<ImageListEntry*>(array[0])->record, length),
               "P2/0000000001/00001");

  EXPECT_EQ(images_->EnumImages("P1", "0000000003", &array), 0);  // no such set
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(images_->EnumImages("P1", "0000000001", nullptr), -1);
  EXPECT_EQ(boxes_.count(), 0u);

  images_->EnumImages("P1", "0000000002", &array);
  for (int i = 0; i < array.GetSize(); ++i) delete static_cast<ImageListEntry*>(array[i]);
}

TEST_F(PhotoSetTest, EnumTextCopiesTheWholeTextItems) {
  StoreThreeSets();
  CPtrArray array;
  array.Add(nullptr);
  array.Add(new TextListEntry{});
  ASSERT_EQ(texts_->EnumText("P1", "0000000001", &array), 2);
  ASSERT_EQ(array.GetSize(), 2);
  const int length = CTZPhotoEXTextDB::kRecordLength;
  EXPECT_STREQ(Mark(static_cast<TextListEntry*>(array[0])->record, length), "P1/0000000001/00001");
  EXPECT_STREQ(Mark(static_cast<TextListEntry*>(array[1])->record, length), "P1/0000000001/00002");
  EXPECT_EQ(texts_->EnumText("P1", "0000000002", nullptr), -1);
  EXPECT_EQ(array.GetSize(), 2);  // a null array changes nothing
  EXPECT_EQ(texts_->EnumText("P9", "0000000001", &array), 0);
  EXPECT_EQ(array.GetSize(), 0);
}

TEST_F(PhotoSetTest, EnumerationEndsEarlyOnAFailedRead) {
  StoreThreeSets();
  CPtrArray array;
  ScriptedBtrieve script;
  script.ScriptAfter(B_GET_NEXT, {2});
  EXPECT_EQ(images_->EnumImages("P1", "0000000001", &array), 1);
  EXPECT_EQ(array.GetSize(), 1);
  EXPECT_EQ(boxes_.count(), 1u);
  images_->EnumImages("P9", "", &array);
}

TEST_F(PhotoSetTest, DeletingTheItemsOfASetLeavesTheOtherSets) {
  StoreThreeSets();
  EXPECT_EQ(images_->DeleteAllItemOf("P1", "0000000003"), 0);  // no items
  EXPECT_EQ(images_->DeleteAllItemOf("P1", "0000000001"), 0);
  CPtrArray array;
  EXPECT_EQ(images_->EnumImages("P1", "0000000001", &array), 0);
  EXPECT_EQ(images_->EnumImages("P1", "0000000002", &array), 1);
  EXPECT_EQ(images_->EnumImages("P0", "0000000001", &array), 1);
  EXPECT_EQ(images_->EnumImages("P2", "0000000001", &array), 1);
  images_->EnumImages("P9", "", &array);

  ScriptedBtrieve script;
  script.Script(B_DELETE, {80});
  EXPECT_EQ(texts_->DeleteAllItemOf("P1", "0000000001"), 0);  // the last delete succeeded
  EXPECT_EQ(script.CountOf(B_DELETE), 2u);
  EXPECT_EQ(texts_->GetTZPhotoEXTextData("P1", "0000000001", "00001"), 0);
  EXPECT_EQ(texts_->GetTZPhotoEXTextData("P1", "0000000001", "00002"), 4);
  script.Script(B_DELETE, {80});
  EXPECT_EQ(texts_->DeleteAllItemOf("P1", "0000000001"), 80);
  EXPECT_EQ(texts_->GetTZPhotoEXTextData("P1", "0000000002", "00001"), 0);
}

}  // namespace
}  // namespace reclink::test
