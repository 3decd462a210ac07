#pragma once
// Case files: records keyed by one to three case codes of at most three characters.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// Case information, keyed by two codes.
class RECLINK_EXPORT CCaseInfoDB : public reclink::RecordClass<reclink::RecordFile::kCaseInfo> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCaseInfoDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCaseInfoDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCaseInfoDB(const CCaseInfoDB& other);
  CCaseInfoDB& operator=(const CCaseInfoDB& other);
  ~CCaseInfoDB() override;  // closes the file when open

  // Reads the record whose codes are a1 and a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCaseInfoData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The case table, keyed by one code.
class RECLINK_EXPORT CCaseTblDB : public reclink::RecordClass<reclink::RecordFile::kCaseTbl> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCaseTblDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCaseTblDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCaseTblDB(const CCaseTblDB& other);
  CCaseTblDB& operator=(const CCaseTblDB& other);
  ~CCaseTblDB() override;  // closes the file when open

  // Reads the record whose code is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCaseTblData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The case search index, keyed by one code.
class RECLINK_EXPORT CCaseSearchIndexDB : public reclink::RecordClass<reclink::RecordFile::kCaseSearchIndex> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCaseSearchIndexDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCaseSearchIndexDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCaseSearchIndexDB(const CCaseSearchIndexDB& other);
  CCaseSearchIndexDB& operator=(const CCaseSearchIndexDB& other);
  ~CCaseSearchIndexDB() override;  // closes the file when open

  // Reads the record whose code is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCaseSearchIndexData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Case search information, keyed by three codes.
class RECLINK_EXPORT CCaseSearchInfoDB : public reclink::RecordClass<reclink::RecordFile::kCaseSearchInfo> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCaseSearchInfoDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCaseSearchInfoDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCaseSearchInfoDB(const CCaseSearchInfoDB& other);
  CCaseSearchInfoDB& operator=(const CCaseSearchInfoDB& other);
  ~CCaseSearchInfoDB() override;  // closes the file when open

  // Reads the record whose codes are a1, a2 and a3. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCaseSearchInfoData(char const* a1, char const* a2, char const* a3);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The cases of a patient: patient key and two codes.
class RECLINK_EXPORT CPatientCaseInfoDB : public reclink::RecordClass<reclink::RecordFile::kPatientCaseInfo> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPatientCaseInfoDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPatientCaseInfoDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPatientCaseInfoDB(const CPatientCaseInfoDB& other);
  CPatientCaseInfoDB& operator=(const CPatientCaseInfoDB& other);
  ~CPatientCaseInfoDB() override;  // closes the file when open

  // Reads the record of patient key a1 with the codes a2 and a3. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPatientCaseInfoData(char const* a1, char const* a2, char const* a3);

 private:
  void GetPrimeKeyFromBuffer() override;
};
