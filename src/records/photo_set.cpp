#include "reclink/records/photo_set.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kTZPhotoEX>;
template class reclink::RecordClass<reclink::RecordFile::kTZPhotoEXImg>;
template class reclink::RecordClass<reclink::RecordFile::kTZPhotoEXText>;

int CTZPhotoEXDB::GetTZPhotoEXData(char const* patientKey, char const* setNumber) {
  return LookUp(0, {patientKey, setNumber});
}

int CTZPhotoEXImgDB::GetTZPhotoEXImgData(char const* patientKey, char const* setNumber,
                                         char const* itemNumber) {
  return LookUp(0, {patientKey, setNumber, itemNumber});
}

int CTZPhotoEXTextDB::GetTZPhotoEXTextData(char const* patientKey, char const* setNumber,
                                           char const* itemNumber) {
  return LookUp(0, {patientKey, setNumber, itemNumber});
}
