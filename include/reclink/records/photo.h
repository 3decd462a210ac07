#pragma once
// Photo records: one small record per photograph, and two large records keyed like it.

#include "reclink/cstring.h"
#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// The photo file.
class RECLINK_EXPORT CPhotoDB : public reclink::RecordClass<reclink::RecordFile::kPhoto> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPhotoDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPhotoDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPhotoDB(const CPhotoDB& other);
  CPhotoDB& operator=(const CPhotoDB& other);
  ~CPhotoDB() override;  // closes the file when open

  // Reads the photo of patient key a1 with photo number a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPhotoData(char const* a1, char const* a2);
  // The patient's next photo number: the highest stored one plus 1 (at most
  // 2147483647), at least 1.
  // Reserves nothing.
  int GetNextPhotoNo(char const* patientKey);
  // The next sort number of the group (patient, group1, group2) as ten digits;
  // "0000000000" when the group is empty. Reserves nothing.
  CString GetPhotoNextSortNo(char const* patientKey, char const* group1, char const* group2);
  // Deletes every photo record of the patient, without a transaction: -1 when
  // there was none, else the status of the last delete.
  int DeletePhotoOfPatient(char const* patientKey);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Second photo records, keyed like the photo record.
class RECLINK_EXPORT CPhotoDB2 : public reclink::RecordClass<reclink::RecordFile::kPhoto2> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPhotoDB2();
  // directory: not null, ending in a backslash; used as given.
  explicit CPhotoDB2(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPhotoDB2(const CPhotoDB2& other);
  CPhotoDB2& operator=(const CPhotoDB2& other);
  ~CPhotoDB2() override;  // closes the file when open

  // Reads the record of patient key a1 and photo number a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPhoto2Data(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Photo extension records, keyed like the photo record.
class RECLINK_EXPORT CPhotoEXDB : public reclink::RecordClass<reclink::RecordFile::kPhotoEX> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPhotoEXDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPhotoEXDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPhotoEXDB(const CPhotoEXDB& other);
  CPhotoEXDB& operator=(const CPhotoEXDB& other);
  ~CPhotoEXDB() override;  // closes the file when open

  // Reads the record of patient key a1 and photo number a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPhotoEXData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};
