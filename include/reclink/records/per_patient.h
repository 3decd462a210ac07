#pragma once
// Per-patient records keyed by the patient key alone or by the patient key and a sub-key of at most
// ten characters.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// Body records, keyed by the patient key.
class RECLINK_EXPORT CBodyDB : public reclink::RecordClass<reclink::RecordFile::kBody> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose patient key is patientKey.
  int GetBodyData(char const* patientKey);
};

// Additional lateral records.
class RECLINK_EXPORT CAddLatDB : public reclink::RecordClass<reclink::RecordFile::kAddLat> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetAdditionalLatData(char const* patientKey, char const* subKey);
};

// Casmas records.
class RECLINK_EXPORT CCasmasDB : public reclink::RecordClass<reclink::RecordFile::kCasmas> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetCasmasData(char const* patientKey, char const* subKey);
};

// Chevron records.
class RECLINK_EXPORT CChevronDB : public reclink::RecordClass<reclink::RecordFile::kChevron> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetChevronData(char const* patientKey, char const* subKey);
};

// Cvba records.
class RECLINK_EXPORT CCvbaDB : public reclink::RecordClass<reclink::RecordFile::kCvba> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetCvbaData(char const* patientKey, char const* subKey);
};

// Digitised records; the prime key is a copy of the first 32 bytes.
class RECLINK_EXPORT CDigiDB : public reclink::RecordClass<reclink::RecordFile::kDigi> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetDigiData(char const* patientKey, char const* subKey);
};

// Las records.
class RECLINK_EXPORT CLasDB : public reclink::RecordClass<reclink::RecordFile::kLas> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetLasData(char const* patientKey, char const* subKey);
};

// Moex records.
class RECLINK_EXPORT CMoexDB : public reclink::RecordClass<reclink::RecordFile::kMoex> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetMOEXData(char const* patientKey, char const* subKey);
};

// Mvto records.
class RECLINK_EXPORT CMvtoDB : public reclink::RecordClass<reclink::RecordFile::kMvto> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetMVTOData(char const* patientKey, char const* subKey);
};
