#pragma once
// The text table, keyed by two short codes.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The text table.
class RECLINK_EXPORT CTextTblDB : public reclink::RecordClass<reclink::RecordFile::kTextTbl> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose codes are textKey1 and textKey2.
  int GetTextTblData(char const* textKey1, char const* textKey2);
};
