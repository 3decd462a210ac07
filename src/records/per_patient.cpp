#include "reclink/records/per_patient.h"

int CBodyDB::GetBodyData(char const* patientKey) { return LookUp(0, {patientKey}); }

int CAddLatDB::GetAdditionalLatData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CCasmasDB::GetCasmasData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CChevronDB::GetChevronData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CCvbaDB::GetCvbaData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CDigiDB::GetDigiData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CLasDB::GetLasData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CMoexDB::GetMOEXData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}

int CMvtoDB::GetMVTOData(char const* patientKey, char const* subKey) {
  return LookUp(0, {patientKey, subKey});
}
