#pragma once
// Tracing point and pile records of a patient, one file per kind and view.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// Lateral point records; read records pass the point-lat upgrade.
class RECLINK_EXPORT CPointLatDB : public reclink::RecordClass<reclink::RecordFile::kPointLat> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey, in the current layout.
  int GetPointLatData(char const* patientKey, char const* subKey);
};

// Frontal point records.
class RECLINK_EXPORT CPointPADB : public reclink::RecordClass<reclink::RecordFile::kPointPA> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetPointPAData(char const* patientKey, char const* subKey);
};

// MO point records.
class RECLINK_EXPORT CPointMODB : public reclink::RecordClass<reclink::RecordFile::kPointMO> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetPointMOData(char const* patientKey, char const* subKey);
};

// MO2 point records.
class RECLINK_EXPORT CPointMO2DB : public reclink::RecordClass<reclink::RecordFile::kPointMO2> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetPointMO2Data(char const* patientKey, char const* subKey);
};

// SP point records.
class RECLINK_EXPORT CSPPointDB : public reclink::RecordClass<reclink::RecordFile::kSPPoint> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetSPPointData(char const* patientKey, char const* subKey);
};

// SP-PA point records.
class RECLINK_EXPORT CSPPointPADB : public reclink::RecordClass<reclink::RecordFile::kSPPointPA> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetSPPointPAData(char const* patientKey, char const* subKey);
};

// Lateral pile records.
class RECLINK_EXPORT CPileLatDB : public reclink::RecordClass<reclink::RecordFile::kPileLat> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetPileLatData(char const* patientKey, char const* subKey);
};

// Frontal pile records.
class RECLINK_EXPORT CPilePADB : public reclink::RecordClass<reclink::RecordFile::kPilePA> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey and subKey.
  int GetPilePAData(char const* patientKey, char const* subKey);
};
