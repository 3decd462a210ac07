#include "reclink/records/photo_set.h"

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
