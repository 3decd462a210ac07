#pragma once
// Photo records: one small record per photograph, and two large records keyed like it.

#include "reclink/cstring.h"
#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The photo file.
class RECLINK_EXPORT CPhotoDB : public reclink::RecordClass<reclink::RecordFile::kPhoto> {
 public:
  using RecordClass::RecordClass;

  // Reads the photo of patientKey with photoNumber.
  int GetPhotoData(char const* patientKey, char const* photoNumber);
  // The patient's next photo number: the highest stored one plus 1, at least
  // 1; 0 after NextNumber's box when none follows. Reserves nothing.
  int GetNextPhotoNo(char const* patientKey);
  // The next sort number of the group (patient, group1, group2) as ten digits;
  // "0000000000" when the group is empty; "" after NextNumber's box when none
  // follows. Reserves nothing.
  CString GetPhotoNextSortNo(char const* patientKey, char const* group1, char const* group2);
  // Deletes every photo record of the patient, without a transaction: -1 when
  // there was none, else the status of the last delete.
  int DeletePhotoOfPatient(char const* patientKey);
};

// Second photo records, keyed like the photo record.
class RECLINK_EXPORT CPhotoDB2 : public reclink::RecordClass<reclink::RecordFile::kPhoto2> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and photoNumber.
  int GetPhoto2Data(char const* patientKey, char const* photoNumber);
};

// Photo extension records, keyed like the photo record.
class RECLINK_EXPORT CPhotoEXDB : public reclink::RecordClass<reclink::RecordFile::kPhotoEX> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and photoNumber.
  int GetPhotoEXData(char const* patientKey, char const* photoNumber);
};
