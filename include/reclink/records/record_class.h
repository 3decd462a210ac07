#pragma once
// RecordClass<F>: what every record class has in common. It binds the base
// record object to the file F of the record-file table: it embeds the record
// buffer and the prime-key buffer, points the base at them, sets the ident and
// composes the file path. The record classes derive from it and add their
// look-ups; its members are defined inside the library only.

#include "reclink/base_rec_link.h"
#include "reclink/records/catalogue.h"

namespace reclink {

template <RecordFile F>
class RecordClass : public CBaseRecLink {
 public:
  static constexpr const RecordFileRow& kRow = RecordFileOf(F);
  static constexpr int kRecordLength = kRow.recordLength;      // bytes of the record buffer
  static constexpr int kPrimeKeyLength = kRow.primeKeyLength;  // bytes of the prime-key buffer

  // The record buffer: one record as the file stores it. Owned by the object.
  char* GetRecordBuffer() { return m_record; }
  const char* GetRecordBuffer() const { return m_record; }
  // The prime-key buffer, as GetPrimeKeyFromBuffer last filled it.
  const char* GetPrimeKeyBuffer() const { return m_primeKey; }

 protected:
  // Database directory from the profile, section "DB_DIR", entry "DATABASE";
  // a backslash is appended when the directory does not end in one.
  RecordClass();
  // Database directory from the caller (not null); completed with a backslash
  // only for the files whose row says so.
  explicit RecordClass(char const* directory);
  // Memberwise, as the base: the base's pointers keep pointing at the source's
  // buffers; the buffers themselves are copied byte for byte.
  RecordClass(const RecordClass&) = default;
  RecordClass& operator=(const RecordClass&) = default;
  ~RecordClass() override = default;

  // Fills the prime-key buffer from the record buffer by the row's rule.
  void PrimeKeyFromRecord();
  // The look-up on key keyNumber: record buffer zeroed, key image built from
  // the arguments (one per segment, nullptr = empty), GetEQ. Returns its status.
  int LookUp(int keyNumber, char const* a1, char const* a2 = nullptr, char const* a3 = nullptr,
             char const* a4 = nullptr);

  char m_record[kRow.recordLength];        // the record buffer
  char m_primeKey[kRow.primeKeyLength];    // the prime-key buffer

 private:
  void Bind();
};

}  // namespace reclink
