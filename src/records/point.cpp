#include "reclink/records/point.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kPointLat>;
template class reclink::RecordClass<reclink::RecordFile::kPointPA>;
template class reclink::RecordClass<reclink::RecordFile::kPointMO>;
template class reclink::RecordClass<reclink::RecordFile::kPointMO2>;
template class reclink::RecordClass<reclink::RecordFile::kSPPoint>;
template class reclink::RecordClass<reclink::RecordFile::kSPPointPA>;
template class reclink::RecordClass<reclink::RecordFile::kPileLat>;
template class reclink::RecordClass<reclink::RecordFile::kPilePA>;

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
