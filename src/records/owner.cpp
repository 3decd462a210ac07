#include "reclink/records/owner.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kOwner>;

int COwnerDB::GetOwnerData(char const* ownerCode) { return LookUp(0, {ownerCode}); }
int COwnerDB::GetOwnerDataByName(char const* ownerName) { return LookUp(1, {ownerName}); }
