// Deleting the treatment items of one surgery. Unlike the other cascades it
// stops at the first delete that fails.

#include "reclink/records/surgery.h"
#include "records/group_walk.h"

int CSurgeryTreatmentDB::DeleteAllItemOf(char const* patientKey, char const* surgeryField2,
                                         char const* surgeryField3) {
  int result = 0;
  const char* const values[3] = {patientKey, surgeryField2, surgeryField3};
  reclink::records::WalkGroup(*this, m_record, kRow.keys[0], values, 3, [&] {
    result = Delete();
    return result == 0;
  });
  return result;
}
