#pragma once
// Surgery records and the treatment items of a surgery.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The surgery file, keyed by the patient key and two fields.
class RECLINK_EXPORT CSurgeryDB : public reclink::RecordClass<reclink::RecordFile::kSurgery> {
 public:
  using RecordClass::RecordClass;

  // Reads the surgery of patientKey with key fields surgeryField2 and surgeryField3.
  int GetSurgeryData(char const* patientKey, char const* surgeryField2, char const* surgeryField3);
};

// The treatment items of the surgeries.
class RECLINK_EXPORT CSurgeryTreatmentDB
    : public reclink::RecordClass<reclink::RecordFile::kSurgeryTreatment> {
 public:
  using RecordClass::RecordClass;

  // Reads treatment item treatmentItem of the surgery (patientKey, surgeryField2, surgeryField3).
  int GetSurgeryTreamentData(char const* patientKey, char const* surgeryField2,
                             char const* surgeryField3, char const* treatmentItem);
  // Deletes every treatment item of the surgery (patientKey, surgeryField2, surgeryField3),
  // stopping at the first delete that fails: 0, or the status of that delete.
  int DeleteAllItemOf(char const* patientKey, char const* surgeryField2, char const* surgeryField3);
};
