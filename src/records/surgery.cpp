#include "reclink/records/surgery.h"

int CSurgeryDB::GetSurgeryData(char const* patientKey, char const* surgeryField2,
                               char const* surgeryField3) {
  return LookUp(0, {patientKey, surgeryField2, surgeryField3});
}

int CSurgeryTreatmentDB::GetSurgeryTreamentData(char const* patientKey, char const* surgeryField2,
                                                char const* surgeryField3,
                                                char const* treatmentItem) {
  return LookUp(0, {patientKey, surgeryField2, surgeryField3, treatmentItem});
}
