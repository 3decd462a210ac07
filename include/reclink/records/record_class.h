#pragma once
// RecordClass<F>: what every record class has in common. It binds the base
// record object to the file F of the record-file table: it embeds the record
// buffer and the prime-key buffer, points the base at them, sets the ident,
// composes the file path and takes the prime key from a record. The record
// classes derive from it, inherit its constructors and add their look-ups.
// Every look-up Get<Name>Data needs Open and returns the status of GetEQ: 0
// found (the record is in the record buffer), 4 not found (the buffer zeroed,
// no box); arguments must fit their key fields with the terminator.
// Its members are defined, and instantiated for every record class, inside
// the library.

#include <initializer_list>
#include <optional>

#include "reclink/base_rec_link.h"
#include "reclink/reclink_export.h"
#include "reclink/records/catalogue.h"

namespace reclink {

template <RecordFile F>
class RecordClass : public CBaseRecLink {
 public:
  static constexpr const RecordFileRow& kRow = RecordFileOf(F);
  static constexpr int kRecordLength = kRow.recordLength;      // bytes of the record buffer
  static constexpr int kPrimeKeyLength = kRow.PrimeKeyLength();  // bytes of the prime-key buffer

  // Database directory from the profile, section "DB_DIR", entry "DATABASE",
  // read afresh; a backslash is appended when it does not end in one.
  RecordClass();
  // directory: the database directory, not null. Used as given, except for
  // the files whose row completes it (PATIENT1.BTR, PATIENT.BTR): those get a
  // backslash appended when its last byte is not one. Not explicit: an
  // application may write CPatientDB db = directory;.
  RecordClass(char const* directory);
  // Memberwise, as the base: the copy keeps pointing at the source's position
  // block and buffers (the buffers themselves are copied byte for byte), so
  // it is usable only while the source lives, and shares its open file.
  RecordClass(const RecordClass&) = default;
  RecordClass& operator=(const RecordClass&) = default;
  // The base closes the file when it is open.
  ~RecordClass() override = default;

  // The record buffer: one record as the file stores it. Owned by the object.
  // Defined in the library, as every member: a Windows DLL exports no inline
  // member of a class template.
  char* GetRecordBuffer();
  const char* GetRecordBuffer() const;
  // The prime-key buffer, as GetPrimeKeyFromBuffer last filled it.
  const char* GetPrimeKeyBuffer() const;

 protected:
  // The look-up on key keyNumber: record buffer zeroed, key image built from
  // values (one per key segment, in order; nullptr or a missing value = empty),
  // GetEQ. Returns its status; needs Open.
  int LookUp(int keyNumber, std::initializer_list<char const*> values);
  // The number to hand out after the highest stored one, last: last + 1. When
  // none follows (last is 2147483647 or more), nothing, after the error box
  // with status 5 and "BO_INSERT"; the last status is then 5.
  std::optional<long> NextNumber(long last);

  char m_record[kRow.recordLength];      // the record buffer
  char m_primeKey[kRow.PrimeKeyLength()];  // the prime-key buffer

 private:
  // Fills the prime-key buffer from the record buffer by the row's rule; Update calls it.
  void GetPrimeKeyFromBuffer() override;
  void Bind();
};

// Instantiated inside the library, once for every record class's file.
#define RECLINK_RECORD_CLASS_EXTERN(file) extern template class RECLINK_EXPORT RecordClass<RecordFile::file>;
RECLINK_CLASS_RECORD_FILES(RECLINK_RECORD_CLASS_EXTERN)
#undef RECLINK_RECORD_CLASS_EXTERN

}  // namespace reclink
