#include "records/numbering.h"

#include <cstring>

#include "records/fields.h"
#include "records/record_ops.h"

namespace reclink::records {

long LastNumberOfPatient(CBaseRecLink& object, const RecordFileRow& row, char* record,
                         const char* patientKey) {
  const KeyLayout& key = row.keys[0];
  std::memset(record, 0, row.recordLength);
  char image[CBaseRecLink::kKeyBufferSize];
  const char* const args[2] = {patientKey, kNumberBound};
  BuildKeyImage(key, image, args, 2);
  object.SetKey(0);
  object.SetKeyBuffer(image, static_cast<unsigned long>(key.Length()));
  if (object.GetLEEQ() != 0) return 0;
  const KeySegment& patient = key.segments[0];
  const KeySegment& number = key.segments[1];
  if (CompareField(record + patient.offset, patient.width, patientKey) != 0) return 0;
  return FieldValue(record + number.offset, number.width);
}

}  // namespace reclink::records
