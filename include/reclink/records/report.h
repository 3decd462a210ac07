#pragma once
// Reports and slide shows: numbered records of a patient.

#include "reclink/records/record_class.h"
#include "reclink/reclink_export.h"

// The report file.
class RECLINK_EXPORT CReportDB : public reclink::RecordClass<reclink::RecordFile::kReport> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CReportDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CReportDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CReportDB(const CReportDB& other);
  CReportDB& operator=(const CReportDB& other);
  ~CReportDB() override;  // closes the file when open

  // Reads report a2 of patient key a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetReportData(char const* a1, char const* a2);
  // The patient's next report number: the highest stored one plus 1, at
  // least 1. Reserves nothing.
  unsigned long GetLastReportNo(char const* patientKey);

 private:
  void GetPrimeKeyFromBuffer() override;
};

// The slide-show file.
class RECLINK_EXPORT CSlideShowDB : public reclink::RecordClass<reclink::RecordFile::kSlideShow> {
 public:
  // The database directory comes from the profile ("DB_DIR", "DATABASE").
  CSlideShowDB();
  // directory: not null, ending in a backslash; used as given.
  explicit CSlideShowDB(char const* directory);
  // Copies share the source's position block and buffers: use them only while it lives.
  CSlideShowDB(const CSlideShowDB& other);
  CSlideShowDB& operator=(const CSlideShowDB& other);
  ~CSlideShowDB() override;  // closes the file when open

  // Reads slide show a2 of patient key a1. 0 found, 4 not found (record buffer zeroed); needs Open.
  int GetSlideShowData(char const* a1, char const* a2);
  // The patient's next slide-show number: the highest stored one plus 1, at
  // least 1. Reserves nothing.
  unsigned long GetLastSlideShowNo(char const* patientKey);

 private:
  void GetPrimeKeyFromBuffer() override;
};
