#pragma once
// Photo sets: one record per set, and the image and text items of the sets.

#include "reclink/bitmap.h"
#include "reclink/ptr_array.h"
#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

namespace reclink {

// What EnumImages puts into the caller's array, one per image item: a copy of
// the item record and a bitmap slot. Made with new and released with delete;
// the library leaves the bitmap null and releases a non-null one (bitmap.h)
// before it releases the entry at the next enumeration into the same array.
struct ImageListEntry {
  char record[RecordFileOf(RecordFile::kTZPhotoEXImg).recordLength];  // the image item record
  BitmapHandle bitmap;  // the application's bitmap, or nullptr
};

// What EnumText puts into the caller's array, one per text item: a copy of the
// item record. Made with new and released with delete.
struct TextListEntry {
  char record[RecordFileOf(RecordFile::kTZPhotoEXText).recordLength];  // the text item record
};

}  // namespace reclink

// The photo-set file.
class RECLINK_EXPORT CTZPhotoEXDB : public reclink::RecordClass<reclink::RecordFile::kTZPhotoEX> {
 public:
  using RecordClass::RecordClass;

  // Reads the set of patientKey with setNumber.
  int GetTZPhotoEXData(char const* patientKey, char const* setNumber);
  // The patient's next photo-set number: the highest stored one plus 1, at
  // least 1; 0 after NextNumber's box when none follows. Reserves nothing.
  unsigned long GetLastPhotoEXNo(char const* patientKey);
};

// The image items of the photo sets.
class RECLINK_EXPORT CTZPhotoEXImgDB
    : public reclink::RecordClass<reclink::RecordFile::kTZPhotoEXImg> {
 public:
  using RecordClass::RecordClass;

  // Reads item itemNumber of set setNumber of patientKey.
  int GetTZPhotoEXImgData(char const* patientKey, char const* setNumber, char const* itemNumber);
  // Releases what array holds (image list entries, their non-null bitmaps,
  // nulls skipped), then appends one new entry per image item of the set, in
  // item order. The entries belong to the caller. Returns the count; -1 when
  // array is null.
  int EnumImages(char const* patientKey, char const* setNumber, CPtrArray* array);
  // Deletes every image item of the set; the set record stays. 0 when nothing
  // was deleted, else the status of the last delete.
  int DeleteAllItemOf(char const* patientKey, char const* setNumber);
};

// The text items of the photo sets.
class RECLINK_EXPORT CTZPhotoEXTextDB
    : public reclink::RecordClass<reclink::RecordFile::kTZPhotoEXText> {
 public:
  using RecordClass::RecordClass;

  // Reads item itemNumber of set setNumber of patientKey.
  int GetTZPhotoEXTextData(char const* patientKey, char const* setNumber, char const* itemNumber);
  // Releases the text list entries array holds (nulls skipped), then appends
  // one new entry per text item of the set, in item order. The entries belong
  // to the caller. Returns the count; -1 when array is null.
  int EnumText(char const* patientKey, char const* setNumber, CPtrArray* array);
  // Deletes every text item of the set; the set record stays. 0 when nothing
  // was deleted, else the status of the last delete.
  int DeleteAllItemOf(char const* patientKey, char const* setNumber);
};
