#include "reclink/records/case.h"

#include "records/record_class_impl.h"

CCaseInfoDB::CCaseInfoDB() = default;
CCaseInfoDB::CCaseInfoDB(char const* directory) : RecordClass(directory) {}
CCaseInfoDB::CCaseInfoDB(const CCaseInfoDB& other) = default;
CCaseInfoDB& CCaseInfoDB::operator=(const CCaseInfoDB& other) = default;
CCaseInfoDB::~CCaseInfoDB() = default;
void CCaseInfoDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCaseInfoDB::GetCaseInfoData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CCaseTblDB::CCaseTblDB() = default;
CCaseTblDB::CCaseTblDB(char const* directory) : RecordClass(directory) {}
CCaseTblDB::CCaseTblDB(const CCaseTblDB& other) = default;
CCaseTblDB& CCaseTblDB::operator=(const CCaseTblDB& other) = default;
CCaseTblDB::~CCaseTblDB() = default;
void CCaseTblDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCaseTblDB::GetCaseTblData(char const* a1) { return LookUp(0, a1); }

CCaseSearchIndexDB::CCaseSearchIndexDB() = default;
CCaseSearchIndexDB::CCaseSearchIndexDB(char const* directory) : RecordClass(directory) {}
CCaseSearchIndexDB::CCaseSearchIndexDB(const CCaseSearchIndexDB& other) = default;
CCaseSearchIndexDB& CCaseSearchIndexDB::operator=(const CCaseSearchIndexDB& other) = default;
CCaseSearchIndexDB::~CCaseSearchIndexDB() = default;
void CCaseSearchIndexDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCaseSearchIndexDB::GetCaseSearchIndexData(char const* a1) { return LookUp(0, a1); }

CCaseSearchInfoDB::CCaseSearchInfoDB() = default;
CCaseSearchInfoDB::CCaseSearchInfoDB(char const* directory) : RecordClass(directory) {}
CCaseSearchInfoDB::CCaseSearchInfoDB(const CCaseSearchInfoDB& other) = default;
CCaseSearchInfoDB& CCaseSearchInfoDB::operator=(const CCaseSearchInfoDB& other) = default;
CCaseSearchInfoDB::~CCaseSearchInfoDB() = default;
void CCaseSearchInfoDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCaseSearchInfoDB::GetCaseSearchInfoData(char const* a1, char const* a2, char const* a3) { return LookUp(0, a1, a2, a3); }

CPatientCaseInfoDB::CPatientCaseInfoDB() = default;
CPatientCaseInfoDB::CPatientCaseInfoDB(char const* directory) : RecordClass(directory) {}
CPatientCaseInfoDB::CPatientCaseInfoDB(const CPatientCaseInfoDB& other) = default;
CPatientCaseInfoDB& CPatientCaseInfoDB::operator=(const CPatientCaseInfoDB& other) = default;
CPatientCaseInfoDB::~CPatientCaseInfoDB() = default;
void CPatientCaseInfoDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPatientCaseInfoDB::GetPatientCaseInfoData(char const* a1, char const* a2, char const* a3) { return LookUp(0, a1, a2, a3); }
