#include "reclink/records/per_patient.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kBody>;
template class reclink::RecordClass<reclink::RecordFile::kAddLat>;
template class reclink::RecordClass<reclink::RecordFile::kCasmas>;
template class reclink::RecordClass<reclink::RecordFile::kChevron>;
template class reclink::RecordClass<reclink::RecordFile::kCvba>;
template class reclink::RecordClass<reclink::RecordFile::kDigi>;
template class reclink::RecordClass<reclink::RecordFile::kLas>;
template class reclink::RecordClass<reclink::RecordFile::kMoex>;
template class reclink::RecordClass<reclink::RecordFile::kMvto>;

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
