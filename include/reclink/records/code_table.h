#pragma once
// Code tables: records keyed by a short code, or by a table code and an item code.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// Conditions, keyed by a code of at most two characters.
class RECLINK_EXPORT CConditionDB : public reclink::RecordClass<reclink::RecordFile::kCondition> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose code is conditionCode.
  int GetConditionData(char const* conditionCode);
};

// Doctors, keyed by a code of at most two characters.
class RECLINK_EXPORT CDoctorDB : public reclink::RecordClass<reclink::RecordFile::kDoctor> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose code is doctorCode.
  int GetDoctorData(char const* doctorCode);
};

// Image types, keyed by a code of at most two characters.
class RECLINK_EXPORT CImageTypeDB : public reclink::RecordClass<reclink::RecordFile::kImageType> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose code is imageType.
  int GetImageTypeData(char const* imageType);
};

// Custom tables, keyed by a table code and an item code; the staff table is table "AA".
class RECLINK_EXPORT CCustomTblDB : public reclink::RecordClass<reclink::RecordFile::kCustomTbl> {
 public:
  using RecordClass::RecordClass;

  // Reads item of table; when that fails and the item's value is below 1000,
  // tries again with the value as two digits ("5" finds "05"). Status of the last GetEQ.
  int GetCustomTblData(char const* table, char const* item);
  // Reads item of the staff table, table code "AA".
  int GetStaffData(char const* item);
};
