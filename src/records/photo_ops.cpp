// Photo numbering and the deletion of all photos of a patient.

#include <cstring>

#include "reclink/records/photo.h"
#include "records/fields.h"
#include "records/group_walk.h"
#include "records/numbering.h"
#include "records/record_ops.h"

namespace {
constexpr int kGroupKey = 2;  // patient, grouping fields, sort number
constexpr int kSortSegment = 3;  // the sort number, last segment of the group key
}  // namespace

int CPhotoDB::GetNextPhotoNo(char const* patientKey) {
  const long last = reclink::records::LastNumberOfPatient(*this, kRow, m_record, patientKey);
  return static_cast<int>(NextNumber(last).value_or(0));
}

CString CPhotoDB::GetPhotoNextSortNo(char const* patientKey, char const* group1,
                                     char const* group2) {
  std::memset(m_record, 0, sizeof m_record);
  const reclink::KeyLayout& key = kRow.keys[kGroupKey];
  const char* const values[4] = {patientKey, group1, group2, reclink::records::kNumberBound};
  reclink::records::SelectKey(*this, kGroupKey, key, values, 4);
  long next = 0;  // an empty group starts at 0
  if (GetLEEQ() == 0 && reclink::records::FieldsEqual(m_record, key, values, kSortSegment)) {
    const reclink::KeySegment& sort = key.segments[kSortSegment];
    const std::optional<long> after =
        NextNumber(reclink::records::FieldValue(m_record + sort.offset, sort.width));
    if (!after) return CString();
    next = *after;
  }
  CString sortNo;
  sortNo.Format("%010ld", next);
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
