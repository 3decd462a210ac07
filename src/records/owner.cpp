#include "reclink/records/owner.h"

int COwnerDB::GetOwnerData(char const* ownerCode) { return LookUp(0, {ownerCode}); }
int COwnerDB::GetOwnerDataByName(char const* ownerName) { return LookUp(1, {ownerName}); }
