#include "reclink/records/point.h"

int CPointLatDB::GetPointLatData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CPointPADB::GetPointPAData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CPointMODB::GetPointMOData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CPointMO2DB::GetPointMO2Data(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CSPPointDB::GetSPPointData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CSPPointPADB::GetSPPointPAData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CPileLatDB::GetPileLatData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CPilePADB::GetPilePAData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}
