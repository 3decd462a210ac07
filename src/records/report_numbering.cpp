// The next report and slide-show numbers of a patient.

#include "reclink/records/report.h"
#include "records/numbering.h"

unsigned long CReportDB::GetLastReportNo(char const* patientKey) {
  return static_cast<unsigned long>(
      NextNumber(reclink::records::LastNumberOfPatient(*this, kRow, m_record, patientKey))
          .value_or(0));
}

unsigned long CSlideShowDB::GetLastSlideShowNo(char const* patientKey) {
  return static_cast<unsigned long>(
      NextNumber(reclink::records::LastNumberOfPatient(*this, kRow, m_record, patientKey))
          .value_or(0));
}
