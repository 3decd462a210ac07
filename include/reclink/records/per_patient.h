#pragma once
// Per-patient records keyed by the patient key alone or by the patient key and a sub-key of at most ten characters.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// Body records, keyed by the patient key.
class RECLINK_EXPORT CBodyDB : public reclink::RecordClass<reclink::RecordFile::kBody> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CBodyDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CBodyDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CBodyDB(const CBodyDB& other);
  CBodyDB& operator=(const CBodyDB& other);
  ~CBodyDB() override;  // closes the file when open

  // Reads the record whose patient key is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetBodyData(char const* a1);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Additional lateral records.
class RECLINK_EXPORT CAddLatDB : public reclink::RecordClass<reclink::RecordFile::kAddLat> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CAddLatDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CAddLatDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CAddLatDB(const CAddLatDB& other);
  CAddLatDB& operator=(const CAddLatDB& other);
  ~CAddLatDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetAdditionalLatData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Casmas records.
class RECLINK_EXPORT CCasmasDB : public reclink::RecordClass<reclink::RecordFile::kCasmas> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCasmasDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCasmasDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCasmasDB(const CCasmasDB& other);
  CCasmasDB& operator=(const CCasmasDB& other);
  ~CCasmasDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCasmasData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Chevron records.
class RECLINK_EXPORT CChevronDB : public reclink::RecordClass<reclink::RecordFile::kChevron> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CChevronDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CChevronDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CChevronDB(const CChevronDB& other);
  CChevronDB& operator=(const CChevronDB& other);
  ~CChevronDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetChevronData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Cvba records.
class RECLINK_EXPORT CCvbaDB : public reclink::RecordClass<reclink::RecordFile::kCvba> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CCvbaDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CCvbaDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CCvbaDB(const CCvbaDB& other);
  CCvbaDB& operator=(const CCvbaDB& other);
  ~CCvbaDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetCvbaData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Digitised records; the prime key is a copy of the first 32 bytes.
class RECLINK_EXPORT CDigiDB : public reclink::RecordClass<reclink::RecordFile::kDigi> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CDigiDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CDigiDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CDigiDB(const CDigiDB& other);
  CDigiDB& operator=(const CDigiDB& other);
  ~CDigiDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetDigiData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Las records.
class RECLINK_EXPORT CLasDB : public reclink::RecordClass<reclink::RecordFile::kLas> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CLasDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CLasDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CLasDB(const CLasDB& other);
  CLasDB& operator=(const CLasDB& other);
  ~CLasDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetLasData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Moex records.
class RECLINK_EXPORT CMoexDB : public reclink::RecordClass<reclink::RecordFile::kMoex> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CMoexDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CMoexDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CMoexDB(const CMoexDB& other);
  CMoexDB& operator=(const CMoexDB& other);
  ~CMoexDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetMOEXData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// Mvto records.
class RECLINK_EXPORT CMvtoDB : public reclink::RecordClass<reclink::RecordFile::kMvto> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CMvtoDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CMvtoDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CMvtoDB(const CMvtoDB& other);
  CMvtoDB& operator=(const CMvtoDB& other);
  ~CMvtoDB() override;  // closes the file when open

  // Reads the record of patient key a1 and sub-key a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetMVTOData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};
