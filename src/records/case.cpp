#include "reclink/records/case.h"

int CCaseInfoDB::GetCaseInfoData(char const* caseCode1, char const* caseCode2) {
  return LookUp(0, {caseCode1, caseCode2});
}

int CCaseTblDB::GetCaseTblData(char const* caseCode) { return LookUp(0, {caseCode}); }

int CCaseSearchIndexDB::GetCaseSearchIndexData(char const* caseCode) {
  return LookUp(0, {caseCode});
}

int CCaseSearchInfoDB::GetCaseSearchInfoData(char const* caseCode1, char const* caseCode2,
                                             char const* caseCode3) {
  return LookUp(0, {caseCode1, caseCode2, caseCode3});
}

int CPatientCaseInfoDB::GetPatientCaseInfoData(char const* patientKey, char const* caseCode1,
                                               char const* caseCode2) {
  return LookUp(0, {patientKey, caseCode1, caseCode2});
}
