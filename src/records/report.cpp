#include "reclink/records/report.h"

#include "records/record_class_impl.h"

CReportDB::CReportDB() = default;
CReportDB::CReportDB(char const* directory) : RecordClass(directory) {}
CReportDB::CReportDB(const CReportDB& other) = default;
CReportDB& CReportDB::operator=(const CReportDB& other) = default;
CReportDB::~CReportDB() = default;
void CReportDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CReportDB::GetReportData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CSlideShowDB::CSlideShowDB() = default;
CSlideShowDB::CSlideShowDB(char const* directory) : RecordClass(directory) {}
CSlideShowDB::CSlideShowDB(const CSlideShowDB& other) = default;
CSlideShowDB& CSlideShowDB::operator=(const CSlideShowDB& other) = default;
CSlideShowDB::~CSlideShowDB() = default;
void CSlideShowDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CSlideShowDB::GetSlideShowData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }
