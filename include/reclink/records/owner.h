#pragma once
// The owner record: who the installation belongs to.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// The owner file.
class RECLINK_EXPORT COwnerDB : public reclink::RecordClass<reclink::RecordFile::kOwner> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  COwnerDB();
  // directory: not null, ending in a backslash; used as given.
  explicit COwnerDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  COwnerDB(const COwnerDB& other);
  COwnerDB& operator=(const COwnerDB& other);
  ~COwnerDB() override;  // closes the file when open

  // Reads the owner whose code (key 0) is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetOwnerData(char const* a1);
  // Reads the first owner whose name (key 1) is a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetOwnerDataByName(char const* a1);
  // 1 when the owner file holds a record (the first owner is then in the
  // record buffer); 0 when it is empty or the read fails.
  int IsOwnerValid();

 private:
  void GetPrimeKeyFromBuffer() override;
};
