#include "reclink/records/per_patient.h"

#include "records/record_class_impl.h"

CBodyDB::CBodyDB() = default;
CBodyDB::CBodyDB(char const* directory) : RecordClass(directory) {}
CBodyDB::CBodyDB(const CBodyDB& other) = default;
CBodyDB& CBodyDB::operator=(const CBodyDB& other) = default;
CBodyDB::~CBodyDB() = default;
void CBodyDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CBodyDB::GetBodyData(char const* a1) { return LookUp(0, a1); }

CAddLatDB::CAddLatDB() = default;
CAddLatDB::CAddLatDB(char const* directory) : RecordClass(directory) {}
CAddLatDB::CAddLatDB(const CAddLatDB& other) = default;
CAddLatDB& CAddLatDB::operator=(const CAddLatDB& other) = default;
CAddLatDB::~CAddLatDB() = default;
void CAddLatDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CAddLatDB::GetAdditionalLatData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CCasmasDB::CCasmasDB() = default;
CCasmasDB::CCasmasDB(char const* directory) : RecordClass(directory) {}
CCasmasDB::CCasmasDB(const CCasmasDB& other) = default;
CCasmasDB& CCasmasDB::operator=(const CCasmasDB& other) = default;
CCasmasDB::~CCasmasDB() = default;
void CCasmasDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCasmasDB::GetCasmasData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CChevronDB::CChevronDB() = default;
CChevronDB::CChevronDB(char const* directory) : RecordClass(directory) {}
CChevronDB::CChevronDB(const CChevronDB& other) = default;
CChevronDB& CChevronDB::operator=(const CChevronDB& other) = default;
CChevronDB::~CChevronDB() = default;
void CChevronDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CChevronDB::GetChevronData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CCvbaDB::CCvbaDB() = default;
CCvbaDB::CCvbaDB(char const* directory) : RecordClass(directory) {}
CCvbaDB::CCvbaDB(const CCvbaDB& other) = default;
CCvbaDB& CCvbaDB::operator=(const CCvbaDB& other) = default;
CCvbaDB::~CCvbaDB() = default;
void CCvbaDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CCvbaDB::GetCvbaData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CDigiDB::CDigiDB() = default;
CDigiDB::CDigiDB(char const* directory) : RecordClass(directory) {}
CDigiDB::CDigiDB(const CDigiDB& other) = default;
CDigiDB& CDigiDB::operator=(const CDigiDB& other) = default;
CDigiDB::~CDigiDB() = default;
void CDigiDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CDigiDB::GetDigiData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CLasDB::CLasDB() = default;
CLasDB::CLasDB(char const* directory) : RecordClass(directory) {}
CLasDB::CLasDB(const CLasDB& other) = default;
CLasDB& CLasDB::operator=(const CLasDB& other) = default;
CLasDB::~CLasDB() = default;
void CLasDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CLasDB::GetLasData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CMoexDB::CMoexDB() = default;
CMoexDB::CMoexDB(char const* directory) : RecordClass(directory) {}
CMoexDB::CMoexDB(const CMoexDB& other) = default;
CMoexDB& CMoexDB::operator=(const CMoexDB& other) = default;
CMoexDB::~CMoexDB() = default;
void CMoexDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CMoexDB::GetMOEXData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CMvtoDB::CMvtoDB() = default;
CMvtoDB::CMvtoDB(char const* directory) : RecordClass(directory) {}
CMvtoDB::CMvtoDB(const CMvtoDB& other) = default;
CMvtoDB& CMvtoDB::operator=(const CMvtoDB& other) = default;
CMvtoDB::~CMvtoDB() = default;
void CMvtoDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CMvtoDB::GetMVTOData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }
