#pragma once
// Tracing point and pile records of a patient, one file per kind and view.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// Lateral point records; read records pass the point-lat upgrade.
class RECLINK_EXPORT CPointLatDB : public reclink::RecordClass<reclink::RecordFile::kPointLat> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPointLatDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPointLatDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPointLatDB(const CPointLatDB& other);
  CPointLatDB& operator=(const CPointLatDB& other);
  ~CPointLatDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2, in the current layout. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPointLatData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Frontal point records.
class RECLINK_EXPORT CPointPADB : public reclink::RecordClass<reclink::RecordFile::kPointPA> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPointPADB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPointPADB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPointPADB(const CPointPADB& other);
  CPointPADB& operator=(const CPointPADB& other);
  ~CPointPADB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPointPAData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// MO point records.
class RECLINK_EXPORT CPointMODB : public reclink::RecordClass<reclink::RecordFile::kPointMO> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPointMODB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPointMODB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPointMODB(const CPointMODB& other);
  CPointMODB& operator=(const CPointMODB& other);
  ~CPointMODB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPointMOData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// MO2 point records.
class RECLINK_EXPORT CPointMO2DB : public reclink::RecordClass<reclink::RecordFile::kPointMO2> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPointMO2DB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPointMO2DB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPointMO2DB(const CPointMO2DB& other);
  CPointMO2DB& operator=(const CPointMO2DB& other);
  ~CPointMO2DB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPointMO2Data(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// SP point records.
class RECLINK_EXPORT CSPPointDB : public reclink::RecordClass<reclink::RecordFile::kSPPoint> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CSPPointDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CSPPointDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CSPPointDB(const CSPPointDB& other);
  CSPPointDB& operator=(const CSPPointDB& other);
  ~CSPPointDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetSPPointData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// SP-PA point records.
class RECLINK_EXPORT CSPPointPADB : public reclink::RecordClass<reclink::RecordFile::kSPPointPA> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CSPPointPADB();
  // directory: not null, ending in a backslash; used as given.
  explicit CSPPointPADB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CSPPointPADB(const CSPPointPADB& other);
  CSPPointPADB& operator=(const CSPPointPADB& other);
  ~CSPPointPADB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetSPPointPAData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Lateral pile records.
class RECLINK_EXPORT CPileLatDB : public reclink::RecordClass<reclink::RecordFile::kPileLat> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPileLatDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPileLatDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPileLatDB(const CPileLatDB& other);
  CPileLatDB& operator=(const CPileLatDB& other);
  ~CPileLatDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPileLatData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Frontal pile records.
class RECLINK_EXPORT CPilePADB : public reclink::RecordClass<reclink::RecordFile::kPilePA> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CPilePADB();
  // directory: not null, ending in a backslash; used as given.
  explicit CPilePADB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CPilePADB(const CPilePADB& other);
  CPilePADB& operator=(const CPilePADB& other);
  ~CPilePADB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetPilePAData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};
