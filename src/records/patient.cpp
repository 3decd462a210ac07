#include "reclink/records/patient.h"

#include "records/record_class_impl.h"

CPatientDB::CPatientDB() = default;
CPatientDB::CPatientDB(char const* directory) : RecordClass(directory) {}
CPatientDB::CPatientDB(const CPatientDB& other) = default;
CPatientDB& CPatientDB::operator=(const CPatientDB& other) = default;
CPatientDB::~CPatientDB() = default;
void CPatientDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPatientDB::GetPatientData(char const* a1) { return LookUp(0, a1); }
int CPatientDB::GetPatientDataByID(char const* a1) { return LookUp(3, a1); }

CPatientDB2::CPatientDB2() = default;
CPatientDB2::CPatientDB2(char const* directory) : RecordClass(directory) {}
CPatientDB2::CPatientDB2(const CPatientDB2& other) = default;
CPatientDB2& CPatientDB2::operator=(const CPatientDB2& other) = default;
CPatientDB2::~CPatientDB2() = default;
void CPatientDB2::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPatientDB2::GetPatient2Data(char const* a1) { return LookUp(0, a1); }

COldPatientDB::COldPatientDB() = default;
COldPatientDB::COldPatientDB(char const* directory) : RecordClass(directory) {}
COldPatientDB::COldPatientDB(const COldPatientDB& other) = default;
COldPatientDB& COldPatientDB::operator=(const COldPatientDB& other) = default;
COldPatientDB::~COldPatientDB() = default;
void COldPatientDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int COldPatientDB::GetOldPatientData(char const* a1) { return LookUp(0, a1); }
