#pragma once
// The text table, keyed by two short codes.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// The text table.
class RECLINK_EXPORT CTextTblDB : public reclink::RecordClass<reclink::RecordFile::kTextTbl> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CTextTblDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CTextTblDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CTextTblDB(const CTextTblDB& other);
  CTextTblDB& operator=(const CTextTblDB& other);
  ~CTextTblDB() override;  // closes the file when open

  // Reads the record whose codes are a1 and a2. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetTextTblData(char const* a1, char const* a2);

 private:
  void GetPrimeKeyFromBuffer() override;
};
