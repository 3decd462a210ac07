#include "reclink/records/photo.h"

int CPhotoDB::GetPhotoData(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}

int CPhotoDB2::GetPhoto2Data(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}

int CPhotoEXDB::GetPhotoEXData(char const* patientKey, char const* photoNumber) {
  return LookUp(0, {patientKey, photoNumber});
}
