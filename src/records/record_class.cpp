// The members of RecordClass<F>, and its instantiation for every record
// class's file: the library exports them, the record classes inherit them.

#include <cstring>

#include "reclink/records/record_class.h"
#include "records/numbering.h"
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
char* RecordClass<F>::GetRecordBuffer() {
  return m_record;
}

template <RecordFile F>
const char* RecordClass<F>::GetRecordBuffer() const {
  return m_record;
}

template <RecordFile F>
const char* RecordClass<F>::GetPrimeKeyBuffer() const {
  return m_primeKey;
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
void RecordClass<F>::GetPrimeKeyFromBuffer() {
  records::BuildPrimeKey(kRow, m_record, m_primeKey);
}

template <RecordFile F>
int RecordClass<F>::LookUp(int keyNumber, std::initializer_list<char const*> values) {
  return records::LookUpRecord(*this, kRow, m_record, keyNumber, values.begin(),
                               static_cast<int>(values.size()));
}

template <RecordFile F>
std::optional<long> RecordClass<F>::NextNumber(long last) {
  const std::optional<long> next = records::NumberAfter(last);
  if (!next) Fail(records::kNoNumberStatus, records::kNoNumberLabel);
  return next;
}

#define RECLINK_RECORD_CLASS_INSTANCE(file) template class RecordClass<RecordFile::file>;
RECLINK_CLASS_RECORD_FILES(RECLINK_RECORD_CLASS_INSTANCE)
#undef RECLINK_RECORD_CLASS_INSTANCE

}  // namespace reclink
