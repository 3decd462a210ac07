#include "reclink/records/text_table.h"

#include "records/record_class_impl.h"

CTextTblDB::CTextTblDB() = default;
CTextTblDB::CTextTblDB(char const* directory) : RecordClass(directory) {}
CTextTblDB::CTextTblDB(const CTextTblDB& other) = default;
CTextTblDB& CTextTblDB::operator=(const CTextTblDB& other) = default;
CTextTblDB::~CTextTblDB() = default;
void CTextTblDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CTextTblDB::GetTextTblData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }
