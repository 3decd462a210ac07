#include "reclink/records/surgery.h"

#include "records/record_class_impl.h"

CSurgeryDB::CSurgeryDB() = default;
CSurgeryDB::CSurgeryDB(char const* directory) : RecordClass(directory) {}
CSurgeryDB::CSurgeryDB(const CSurgeryDB& other) = default;
CSurgeryDB& CSurgeryDB::operator=(const CSurgeryDB& other) = default;
CSurgeryDB::~CSurgeryDB() = default;
void CSurgeryDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CSurgeryDB::GetSurgeryData(char const* a1, char const* a2, char const* a3) { return LookUp(0, a1, a2, a3); }

CSurgeryTreatmentDB::CSurgeryTreatmentDB() = default;
CSurgeryTreatmentDB::CSurgeryTreatmentDB(char const* directory) : RecordClass(directory) {}
CSurgeryTreatmentDB::CSurgeryTreatmentDB(const CSurgeryTreatmentDB& other) = default;
CSurgeryTreatmentDB& CSurgeryTreatmentDB::operator=(const CSurgeryTreatmentDB& other) = default;
CSurgeryTreatmentDB::~CSurgeryTreatmentDB() = default;
void CSurgeryTreatmentDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CSurgeryTreatmentDB::GetSurgeryTreamentData(char const* a1, char const* a2, char const* a3, char const* a4) { return LookUp(0, a1, a2, a3, a4); }
