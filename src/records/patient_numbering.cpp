// Patient numbers: ten digits with leading zeros in the patient number field
// (key 0). InsertPatientData reads the last number and inserts under the next
// one inside one transaction, so concurrent inserts never share a number.

#include <cstdio>
#include <cstring>

#include "reclink/records/patient.h"
#include "records/fields.h"
#include "records/numbering.h"
#include "records/record_ops.h"
#include "records/transaction.h"

namespace {
constexpr const reclink::KeySegment& kNumberField = CPatientDB::kRow.keys[0].segments[0];

// The patient number of the record read, as atol reads it.
long StoredNumber(const char* record) {
  return reclink::records::FieldValue(record + kNumberField.offset, kNumberField.width);
}

// number as ten digits with leading zeros.
CString Digits(long number) {
  CString digits;
  digits.Format("%010ld", number);
  return digits;
}
}  // namespace

int CPatientDB::InsertPatientData() {
  char patient[kRecordLength];
  std::memcpy(patient, m_record, sizeof patient);
  reclink::records::SelectKey(*this, 0, kRow.keys[0], nullptr, 0);
  return reclink::records::InOwnTransaction(*this, [&] {
    const std::optional<long> number = NextNumber(GetLAST() == 0 ? StoredNumber(m_record) : 0);
    std::memcpy(m_record, patient, sizeof patient);
    if (!number) return reclink::records::kNoNumberStatus;
    // The digits and their zero; the rest of the field stays as the caller set it.
    const CString digits = Digits(*number);
    std::memcpy(m_record + kNumberField.offset, digits.GetString(), digits.GetLength() + 1);
    return Insert();
  });
}

CString CPatientDB::GetNextPatientID() {
  std::memset(m_record, 0, sizeof m_record);
  reclink::records::SelectKey(*this, 0, kRow.keys[0], &reclink::records::kNumberBound, 1);
  const std::optional<long> number = NextNumber(GetLEEQ() == 0 ? StoredNumber(m_record) : 0);
  return number ? Digits(*number) : CString();
}
