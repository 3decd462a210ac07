#include "reclink/records/code_table.h"

int CConditionDB::GetConditionData(char const* conditionCode) { return LookUp(0, {conditionCode}); }

int CDoctorDB::GetDoctorData(char const* doctorCode) { return LookUp(0, {doctorCode}); }

int CImageTypeDB::GetImageTypeData(char const* imageType) { return LookUp(0, {imageType}); }
