// Patient numbers: ten digits with leading zeros in the 21-byte field at 0.
// InsertPatientData reads the last number and inserts under the next one
// inside one transaction, so concurrent inserts never share a number.

#include <climits>
#include <cstdio>
#include <cstring>

#include "reclink/btrieve.h"
#include "reclink/records/patient.h"
#include "records/fields.h"

namespace {
constexpr int kNumberWidth = 21;                    // the patient number field at offset 0
constexpr const char* kNumberBound = "9999999999";  // sorts after every ten-digit number

// The number after the one stored in record, or 0 when it would pass INT_MAX.
long NumberAfter(const char* record) {
  long last = reclink::records::FieldValue(record, kNumberWidth);
  return last >= INT_MAX ? 0 : last + 1;
}
}  // namespace

int CPatientDB::InsertPatientData() {
  char patient[kRecordLength];
  std::memcpy(patient, m_record, sizeof patient);
  char image[kPrimeKeyLength] = {};
  SetKey(0);
  SetKeyBuffer(image, sizeof image);
  if (BeginTran() != 0) return -1;

  long number = GetLAST() == 0 ? NumberAfter(m_record) : 1;
  std::memcpy(m_record, patient, sizeof patient);
  if (number == 0) {
    // Every number up to INT_MAX is taken: the next one cannot be stored.
    AbortTran();
    return B_DUPLICATE_KEY_VALUE;
  }
  char digits[24];
  std::snprintf(digits, sizeof digits, "%010ld", number);
  std::memcpy(m_record, digits, 11);  // bytes 11 to 20 stay as the caller set them

  int status = Insert();
  if (status == 0) {
    EndTran();
    return 0;
  }
  AbortTran();
  return status;
}

CString CPatientDB::GetNextPatientID() {
  std::memset(m_record, 0, sizeof m_record);
  char image[kPrimeKeyLength] = {};
  reclink::records::CopyToField(image, sizeof image, kNumberBound);
  SetKey(0);
  SetKeyBuffer(image, sizeof image);
  long number = GetLEEQ() == 0 ? NumberAfter(m_record) : 1;
  CString id;
  if (number != 0) id.Format("%010d", static_cast<int>(number));
  return id;
}
