#include "reclink/records/code_table.h"

#include "records/record_class_impl.h"

CConditionDB::CConditionDB() = default;
CConditionDB::CConditionDB(char const* directory) : RecordClass(directory) {}
CConditionDB::CConditionDB(const CConditionDB& other) = default;
CConditionDB& CConditionDB::operator=(const CConditionDB& other) = default;
CConditionDB::~CConditionDB() = default;
void CConditionDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CConditionDB::GetConditionData(char const* a1) { return LookUp(0, a1); }

CDoctorDB::CDoctorDB() = default;
CDoctorDB::CDoctorDB(char const* directory) : RecordClass(directory) {}
CDoctorDB::CDoctorDB(const CDoctorDB& other) = default;
CDoctorDB& CDoctorDB::operator=(const CDoctorDB& other) = default;
CDoctorDB::~CDoctorDB() = default;
void CDoctorDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CDoctorDB::GetDoctorData(char const* a1) { return LookUp(0, a1); }

CImageTypeDB::CImageTypeDB() = default;
CImageTypeDB::CImageTypeDB(char const* directory) : RecordClass(directory) {}
CImageTypeDB::CImageTypeDB(const CImageTypeDB& other) = default;
CImageTypeDB& CImageTypeDB::operator=(const CImageTypeDB& other) = default;
CImageTypeDB::~CImageTypeDB() = default;
void CImageTypeDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CImageTypeDB::GetImageTypeData(char const* a1) { return LookUp(0, a1); }

CCustomTblDB::CCustomTblDB() = default;
CCustomTblDB::CCustomTblDB(char const* directory) : RecordClass(directory) {}
CCustomTblDB::CCustomTblDB(const CCustomTblDB& other) = default;
CCustomTblDB& CCustomTblDB::operator=(const CCustomTblDB& other) = default;
CCustomTblDB::~CCustomTblDB() = default;
void CCustomTblDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
