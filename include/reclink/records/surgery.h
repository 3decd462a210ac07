#pragma once
// Surgery records and the treatment items of a surgery.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// The surgery file, keyed by the patient key and two fields.
class RECLINK_EXPORT CSurgeryDB : public reclink::RecordClass<reclink::RecordFile::kSurgery> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CSurgeryDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CSurgeryDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CSurgeryDB(const CSurgeryDB& other);
  CSurgeryDB& operator=(const CSurgeryDB& other);
  ~CSurgeryDB() override;  // closes the file when open

  // Reads the surgery of patient key a1 with key fields a2 and a3. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetSurgeryData(char const* a1, char const* a2, char const* a3);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The treatment items of the surgeries.
class RECLINK_EXPORT CSurgeryTreatmentDB : public reclink::RecordClass<reclink::RecordFile::kSurgeryTreatment> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CSurgeryTreatmentDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CSurgeryTreatmentDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CSurgeryTreatmentDB(const CSurgeryTreatmentDB& other);
  CSurgeryTreatmentDB& operator=(const CSurgeryTreatmentDB& other);
  ~CSurgeryTreatmentDB() override;  // closes the file when open

  // Reads treatment item a4 of the surgery (a1, a2, a3). 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetSurgeryTreamentData(char const* a1, char const* a2, char const* a3, char const* a4);
  // Deletes every treatment item of the surgery (a1, a2, a3), stopping at the
  // first delete that fails: 0, or the status of that delete.
  int DeleteAllItemOf(char const* a1, char const* a2, char const* a3);

 private:
  void GetPrimeKeyFromBuffer() override;
};
