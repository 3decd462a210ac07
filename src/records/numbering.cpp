#include "records/numbering.h"

#include <cstring>

#include "records/fields.h"
#include "records/record_ops.h"

namespace reclink::records {

long LastNumberOfPatient(CBaseRecLink& object, const RecordFileRow& row, char* record,
                         const char* patientKey) {
  const KeyLayout& key = row.keys[0];
  std::memset(record, 0, row.recordLength);
  const char* const values[2] = {patientKey, kNumberBound};
  SelectKey(object, 0, key, values, 2);
  if (object.GetLEEQ() != 0) return 0;
  const KeySegment& patient = key.segments[0];
  const KeySegment& number = key.segments[1];
  if (CompareField(record + patient.offset, patient.width, patientKey) != 0) return 0;
  return FieldValue(record + number.offset, number.width);
}

}  // namespace reclink::records
