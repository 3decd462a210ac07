#include "reclink/records/point.h"

#include "records/record_class_impl.h"

CPointLatDB::CPointLatDB() = default;
CPointLatDB::CPointLatDB(char const* directory) : RecordClass(directory) {}
CPointLatDB::CPointLatDB(const CPointLatDB& other) = default;
CPointLatDB& CPointLatDB::operator=(const CPointLatDB& other) = default;
CPointLatDB::~CPointLatDB() = default;
void CPointLatDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPointLatDB::GetPointLatData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPointPADB::CPointPADB() = default;
CPointPADB::CPointPADB(char const* directory) : RecordClass(directory) {}
CPointPADB::CPointPADB(const CPointPADB& other) = default;
CPointPADB& CPointPADB::operator=(const CPointPADB& other) = default;
CPointPADB::~CPointPADB() = default;
void CPointPADB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPointPADB::GetPointPAData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPointMODB::CPointMODB() = default;
CPointMODB::CPointMODB(char const* directory) : RecordClass(directory) {}
CPointMODB::CPointMODB(const CPointMODB& other) = default;
CPointMODB& CPointMODB::operator=(const CPointMODB& other) = default;
CPointMODB::~CPointMODB() = default;
void CPointMODB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPointMODB::GetPointMOData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPointMO2DB::CPointMO2DB() = default;
CPointMO2DB::CPointMO2DB(char const* directory) : RecordClass(directory) {}
CPointMO2DB::CPointMO2DB(const CPointMO2DB& other) = default;
CPointMO2DB& CPointMO2DB::operator=(const CPointMO2DB& other) = default;
CPointMO2DB::~CPointMO2DB() = default;
void CPointMO2DB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPointMO2DB::GetPointMO2Data(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CSPPointDB::CSPPointDB() = default;
CSPPointDB::CSPPointDB(char const* directory) : RecordClass(directory) {}
CSPPointDB::CSPPointDB(const CSPPointDB& other) = default;
CSPPointDB& CSPPointDB::operator=(const CSPPointDB& other) = default;
CSPPointDB::~CSPPointDB() = default;
void CSPPointDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CSPPointDB::GetSPPointData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CSPPointPADB::CSPPointPADB() = default;
CSPPointPADB::CSPPointPADB(char const* directory) : RecordClass(directory) {}
CSPPointPADB::CSPPointPADB(const CSPPointPADB& other) = default;
CSPPointPADB& CSPPointPADB::operator=(const CSPPointPADB& other) = default;
CSPPointPADB::~CSPPointPADB() = default;
void CSPPointPADB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CSPPointPADB::GetSPPointPAData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPileLatDB::CPileLatDB() = default;
CPileLatDB::CPileLatDB(char const* directory) : RecordClass(directory) {}
CPileLatDB::CPileLatDB(const CPileLatDB& other) = default;
CPileLatDB& CPileLatDB::operator=(const CPileLatDB& other) = default;
CPileLatDB::~CPileLatDB() = default;
void CPileLatDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPileLatDB::GetPileLatData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CPilePADB::CPilePADB() = default;
CPilePADB::CPilePADB(char const* directory) : RecordClass(directory) {}
CPilePADB::CPilePADB(const CPilePADB& other) = default;
CPilePADB& CPilePADB::operator=(const CPilePADB& other) = default;
CPilePADB::~CPilePADB() = default;
void CPilePADB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CPilePADB::GetPilePAData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }
