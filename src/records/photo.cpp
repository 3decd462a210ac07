#include "reclink/records/photo.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kPhoto>;
template class reclink::RecordClass<reclink::RecordFile::kPhoto2>;
template class reclink::RecordClass<reclink::RecordFile::kPhotoEX>;

int CPhotoDB::GetPhotoData(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}

int CPhotoDB2::GetPhoto2Data(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}

int CPhotoEXDB::GetPhotoEXData(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}
