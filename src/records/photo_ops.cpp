// Photo numbering and the deletion of all photos of a patient.

#include <climits>
#include <cstring>

#include "reclink/records/photo.h"
#include "records/fields.h"
#include "records/group_walk.h"
#include "records/numbering.h"
#include "records/record_ops.h"

namespace {
constexpr int kGroupKey = 2;                        // patient, grouping fields, sort number
constexpr reclink::KeySegment kPatientField = {0, 21};       // the patient key
constexpr reclink::KeySegment kGroup1Field = {32, 9};        // first grouping field
constexpr reclink::KeySegment kGroup2Field = {41, 3};        // second grouping field
constexpr reclink::KeySegment kSortField = {65, 11};         // sort number
constexpr const char* kNumberBound = "9999999999";  // sorts after every ten-digit number

bool FieldIs(const char* record, reclink::KeySegment field, const char* value) {
  return reclink::records::CompareField(record + field.offset, field.width, value) == 0;
}
}  // namespace

int CPhotoDB::GetNextPhotoNo(char const* patientKey) {
  long next = reclink::records::NextNumberOfPatient(*this, kRow, m_record, patientKey);
  return next > INT_MAX ? INT_MAX : static_cast<int>(next);
}

CString CPhotoDB::GetPhotoNextSortNo(char const* patientKey, char const* group1,
                                     char const* group2) {
  std::memset(m_record, 0, sizeof m_record);
  const reclink::KeyLayout& key = kRow.keys[kGroupKey];
  char image[CBaseRecLink::kKeyBufferSize];
  const char* const args[4] = {patientKey, group1, group2, kNumberBound};
  reclink::records::BuildKeyImage(key, image, args, 4);
  SetKey(kGroupKey);
  SetKeyBuffer(image, static_cast<unsigned long>(key.Length()));
  long next = 0;
  if (GetLEEQ() == 0 && FieldIs(m_record, kPatientField, patientKey) &&
      FieldIs(m_record, kGroup1Field, group1) && FieldIs(m_record, kGroup2Field, group2))
    next = reclink::records::FieldValue(m_record + kSortField.offset, kSortField.width) + 1;
  CString sortNo;
  sortNo.Format("%010d", static_cast<int>(next > INT_MAX ? INT_MAX : next));
  return sortNo;
}

int CPhotoDB::DeletePhotoOfPatient(char const* patientKey) {
  int result = -1;
  std::memset(m_record, 0, sizeof m_record);
  reclink::records::WalkGroup(*this, m_record, kRow.keys[0], &patientKey, 1, [&] {
    result = Delete();  // a failed delete does not end the walk
    return true;
  });
  return result;
}
