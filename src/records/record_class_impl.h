#pragma once
// The members of RecordClass<F>. Included by the record classes' sources only,
// so the template is instantiated inside the library.

#include <cstring>

#include "reclink/records/record_class.h"
#include "records/record_ops.h"

namespace reclink {

template <RecordFile F>
RecordClass<F>::RecordClass() : CBaseRecLink() {
  Bind();
  CString directory = records::ProfileDirectory();
  SetFilePath(records::ComposeFilePath(directory, true, kRow.fileName));
}

template <RecordFile F>
RecordClass<F>::RecordClass(char const* directory) : CBaseRecLink(directory) {
  Bind();
  SetFilePath(records::ComposeFilePath(directory, kRow.completesDirectory, kRow.fileName));
}

template <RecordFile F>
void RecordClass<F>::Bind() {
  std::memset(m_record, 0, sizeof m_record);
  std::memset(m_primeKey, 0, sizeof m_primeKey);
  SetDataLength(kRecordLength);
  SetDataBuffer(m_record);
  SetRecordIdent(kRow.ident);
  SetPrimeKey(m_primeKey, kPrimeKeyLength);
}

template <RecordFile F>
void RecordClass<F>::PrimeKeyFromRecord() {
  records::BuildPrimeKey(kRow, m_record, m_primeKey);
}

template <RecordFile F>
int RecordClass<F>::LookUp(int keyNumber, char const* a1, char const* a2, char const* a3,
                           char const* a4) {
  const char* const args[4] = {a1, a2, a3, a4};
  return records::LookUpRecord(*this, kRow, m_record, keyNumber, args);
}

}  // namespace reclink
