#include "reclink/records/owner.h"

#include "records/record_class_impl.h"

COwnerDB::COwnerDB() = default;
COwnerDB::COwnerDB(char const* directory) : RecordClass(directory) {}
COwnerDB::COwnerDB(const COwnerDB& other) = default;
COwnerDB& COwnerDB::operator=(const COwnerDB& other) = default;
COwnerDB::~COwnerDB() = default;
void COwnerDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int COwnerDB::GetOwnerData(char const* a1) { return LookUp(0, a1); }
int COwnerDB::GetOwnerDataByName(char const* a1) { return LookUp(1, a1); }
