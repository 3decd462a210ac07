#include "reclink/records/text_table.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kTextTbl>;

int CTextTblDB::GetTextTblData(char const* textKey1, char const* textKey2) {
  return LookUp(0, {textKey1, textKey2});
}
