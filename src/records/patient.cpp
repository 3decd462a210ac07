#include "reclink/records/patient.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kPatient>;
template class reclink::RecordClass<reclink::RecordFile::kPatient2>;
template class reclink::RecordClass<reclink::RecordFile::kOldPatient>;

int CPatientDB::GetPatientData(char const* patientNumber) { return LookUp(0, {patientNumber}); }
int CPatientDB::GetPatientDataByID(char const* patientId) { return LookUp(3, {patientId}); }

int CPatientDB2::GetPatient2Data(char const* patientNumber) { return LookUp(0, {patientNumber}); }

int COldPatientDB::GetOldPatientData(char const* patientNumber) {
  return LookUp(0, {patientNumber});
}
