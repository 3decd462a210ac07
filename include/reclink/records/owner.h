#pragma once
// The owner record: who the installation belongs to.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The owner file.
class RECLINK_EXPORT COwnerDB : public reclink::RecordClass<reclink::RecordFile::kOwner> {
 public:
  using RecordClass::RecordClass;

  // Reads the owner whose code (key 0) is ownerCode.
  int GetOwnerData(char const* ownerCode);
  // Reads the first owner whose name (key 1) is ownerName.
  int GetOwnerDataByName(char const* ownerName);
  // 1 when the owner file holds a record (the first owner is then in the
  // record buffer); 0 when it is empty or the read fails.
  int IsOwnerValid();
};
