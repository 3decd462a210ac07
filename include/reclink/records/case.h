#pragma once
// Case files: records keyed by one to three case codes of at most three characters.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// Case information, keyed by two codes.
class RECLINK_EXPORT CCaseInfoDB : public reclink::RecordClass<reclink::RecordFile::kCaseInfo> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose codes are caseCode1 and caseCode2.
  int GetCaseInfoData(char const* caseCode1, char const* caseCode2);
};

// The case table, keyed by one code.
class RECLINK_EXPORT CCaseTblDB : public reclink::RecordClass<reclink::RecordFile::kCaseTbl> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose code is caseCode.
  int GetCaseTblData(char const* caseCode);
};

// The case search index, keyed by one code.
class RECLINK_EXPORT CCaseSearchIndexDB
    : public reclink::RecordClass<reclink::RecordFile::kCaseSearchIndex> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose code is caseCode.
  int GetCaseSearchIndexData(char const* caseCode);
};

// Case search information, keyed by three codes.
class RECLINK_EXPORT CCaseSearchInfoDB
    : public reclink::RecordClass<reclink::RecordFile::kCaseSearchInfo> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose codes are caseCode1, caseCode2 and caseCode3.
  int GetCaseSearchInfoData(char const* caseCode1, char const* caseCode2, char const* caseCode3);
};

// The cases of a patient: patient key and two codes.
class RECLINK_EXPORT CPatientCaseInfoDB
    : public reclink::RecordClass<reclink::RecordFile::kPatientCaseInfo> {
 public:
  using RecordClass::RecordClass;

  // Reads the record of patientKey with the codes caseCode1 and caseCode2.
  int GetPatientCaseInfoData(char const* patientKey, char const* caseCode1, char const* caseCode2);
};
