#pragma once
// Photo sets: one record per set, and the image and text items of the sets.

#include "reclink/bitmap.h"
#include "reclink/ptr_array.h"
#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

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
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CTZPhotoEXDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CTZPhotoEXDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CTZPhotoEXDB(const CTZPhotoEXDB& other);
  CTZPhotoEXDB& operator=(const CTZPhotoEXDB& other);
  ~CTZPhotoEXDB() override;  // closes the file when open

  // Reads the set of patient key a1 with set number a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetTZPhotoEXData(char const* a1, char const* a2);
  // The patient's next photo-set number: the highest stored one plus 1, at
  // least 1. Reserves nothing.
  unsigned long GetLastPhotoEXNo(char const* patientKey);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The image items of the photo sets.
class RECLINK_EXPORT CTZPhotoEXImgDB : public reclink::RecordClass<reclink::RecordFile::kTZPhotoEXImg> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CTZPhotoEXImgDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CTZPhotoEXImgDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CTZPhotoEXImgDB(const CTZPhotoEXImgDB& other);
  CTZPhotoEXImgDB& operator=(const CTZPhotoEXImgDB& other);
  ~CTZPhotoEXImgDB() override;  // closes the file when open

  // Reads item a3 of set a2 of patient key a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetTZPhotoEXImgData(char const* a1, char const* a2, char const* a3);
  // Releases what array holds (image list entries, their non-null bitmaps,
  // nulls skipped), then appends one new entry per image item of the set, in
  // item order. The entries belong to the caller. Returns the count; -1 when
  // array is null.
  int EnumImages(char const* patientKey, char const* setNumber, CPtrArray* array);
  // Deletes every image item of the set; the set record stays. 0 when nothing
  // was deleted, else the status of the last delete.
  int DeleteAllItemOf(char const* patientKey, char const* setNumber);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The text items of the photo sets.
class RECLINK_EXPORT CTZPhotoEXTextDB : public reclink::RecordClass<reclink::RecordFile::kTZPhotoEXText> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CTZPhotoEXTextDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CTZPhotoEXTextDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CTZPhotoEXTextDB(const CTZPhotoEXTextDB& other);
  CTZPhotoEXTextDB& operator=(const CTZPhotoEXTextDB& other);
  ~CTZPhotoEXTextDB() override;  // closes the file when open

  // Reads item a3 of set a2 of patient key a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetTZPhotoEXTextData(char const* a1, char const* a2, char const* a3);
  // Releases the text list entries array holds (nulls skipped), then appends
  // one new entry per text item of the set, in item order. The entries belong
  // to the caller. Returns the count; -1 when array is null.
  int EnumText(char const* patientKey, char const* setNumber, CPtrArray* array);
  // Deletes every text item of the set; the set record stays. 0 when nothing
  // was deleted, else the status of the last delete.
  int DeleteAllItemOf(char const* patientKey, char const* setNumber);

 private:
  void GetPrimeKeyFromBuffer() override;
};
