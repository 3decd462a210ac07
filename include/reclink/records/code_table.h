#pragma once
// Code tables: records keyed by a short code, or by a table code and an item code.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// Conditions, keyed by a code of at most two characters.
class RECLINK_EXPORT CConditionDB : public reclink::RecordClass<reclink::RecordFile::kCondition> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CConditionDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CConditionDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CConditionDB(const CConditionDB& other);
  CConditionDB& operator=(const CConditionDB& other);
  ~CConditionDB() override;  // closes the file when open

  // Reads the record whose code is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetConditionData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Doctors, keyed by a code of at most two characters.
class RECLINK_EXPORT CDoctorDB : public reclink::RecordClass<reclink::RecordFile::kDoctor> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CDoctorDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CDoctorDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CDoctorDB(const CDoctorDB& other);
  CDoctorDB& operator=(const CDoctorDB& other);
  ~CDoctorDB() override;  // closes the file when open

  // Reads the record whose code is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetDoctorData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Image types, keyed by a code of at most two characters.
class RECLINK_EXPORT CImageTypeDB : public reclink::RecordClass<reclink::RecordFile::kImageType> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CImageTypeDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CImageTypeDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CImageTypeDB(const CImageTypeDB& other);
  CImageTypeDB& operator=(const CImageTypeDB& other);
  ~CImageTypeDB() override;  // closes the file when open

  // Reads the record whose code is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetImageTypeData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Custom tables, keyed by a table code and an item code; the staff table is table "AA".
class RECLINK_EXPORT CCustomTblDB : public reclink::RecordClass<reclink::RecordFile::kCustomTbl> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCustomTblDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCustomTblDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCustomTblDB(const CCustomTblDB& other);
  CCustomTblDB& operator=(const CCustomTblDB& other);
  ~CCustomTblDB() override;  // closes the file when open

  // Reads item of table; when that fails and the item's value is below 1000,
  // tries again with the value as two digits ("5" finds "05"). Status of the last GetEQ.
  int GetCustomTblData(char const* table, char const* item);
  // Reads item of the staff table, table code "AA".
  int GetStaffData(char const* item);

 private:
  void GetPrimeKeyFromBuffer() override;
};
