#include "reclink/records/patient.h"

int CPatientDB::GetPatientData(char const* patientNumber) { return LookUp(0, {patientNumber}); }
int CPatientDB::GetPatientDataByID(char const* patientId) { return LookUp(3, {patientId}); }

int CPatientDB2::GetPatient2Data(char const* patientNumber) { return LookUp(0, {patientNumber}); }

int COldPatientDB::GetOldPatientData(char const* patientNumber) {
  return LookUp(0, {patientNumber});
}
