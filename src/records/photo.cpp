#include "reclink/records/photo.h"

#include "records/record_class_impl.h"

CPhotoDB::CPhotoDB() = default;
CPhotoDB::CPhotoDB(char const* directory) : RecordClass(directory) {}
CPhotoDB::CPhotoDB(const CPhotoDB& other) = default;
CPhotoDB& CPhotoDB::operator=(const CPhotoDB& other) = default;
CPhotoDB::~CPhotoDB() = default;
void CPhotoDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPhotoDB::GetPhotoData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPhotoDB2::CPhotoDB2() = default;
CPhotoDB2::CPhotoDB2(char const* directory) : RecordClass(directory) {}
CPhotoDB2::CPhotoDB2(const CPhotoDB2& other) = default;
CPhotoDB2& CPhotoDB2::operator=(const CPhotoDB2& other) = default;
CPhotoDB2::~CPhotoDB2() = default;
void CPhotoDB2::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPhotoDB2::GetPhoto2Data(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPhotoEXDB::CPhotoEXDB() = default;
CPhotoEXDB::CPhotoEXDB(char const* directory) : RecordClass(directory) {}
CPhotoEXDB::CPhotoEXDB(const CPhotoEXDB& other) = default;
CPhotoEXDB& CPhotoEXDB::operator=(const CPhotoEXDB& other) = default;
CPhotoEXDB::~CPhotoEXDB() = default;
void CPhotoEXDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPhotoEXDB::GetPhotoEXData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }
