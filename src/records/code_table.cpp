#include "reclink/records/code_table.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kCondition>;
template class reclink::RecordClass<reclink::RecordFile::kDoctor>;
template class reclink::RecordClass<reclink::RecordFile::kImageType>;

int CConditionDB::GetConditionData(char const* conditionCode) { return LookUp(0, {conditionCode}); }

int CDoctorDB::GetDoctorData(char const* doctorCode) { return LookUp(0, {doctorCode}); }

int CImageTypeDB::GetImageTypeData(char const* imageType) { return LookUp(0, {imageType}); }
