#pragma once
// Reports and slide shows: numbered records of a patient.

#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The report file.
class RECLINK_EXPORT CReportDB : public reclink::RecordClass<reclink::RecordFile::kReport> {
 public:
  using RecordClass::RecordClass;

  // Reads report reportNumber of patientKey.
  int GetReportData(char const* patientKey, char const* reportNumber);
  // The patient's next report number: the highest stored one plus 1, at
  // least 1; 0 after NextNumber's box when none follows. Reserves nothing.
  unsigned long GetLastReportNo(char const* patientKey);
};

// The slide-show file.
class RECLINK_EXPORT CSlideShowDB : public reclink::RecordClass<reclink::RecordFile::kSlideShow> {
 public:
  using RecordClass::RecordClass;

  // Reads slide show slideShowNumber of patientKey.
  int GetSlideShowData(char const* patientKey, char const* slideShowNumber);
  // The patient's next slide-show number: the highest stored one plus 1, at
  // least 1; 0 after NextNumber's box when none follows. Reserves nothing.
  unsigned long GetLastSlideShowNo(char const* patientKey);
};
