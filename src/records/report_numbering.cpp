// The next report and slide-show numbers of a patient.

#include "reclink/records/report.h"
#include "records/numbering.h"

unsigned long CReportDB::GetLastReportNo(char const* patientKey) {
  return static_cast<unsigned long>(
      reclink::records::NextNumberOfPatient(*this, kRow, m_record, patientKey));
}

unsigned long CSlideShowDB::GetLastSlideShowNo(char const* patientKey) {
  return static_cast<unsigned long>(
      reclink::records::NextNumberOfPatient(*this, kRow, m_record, patientKey));
}
