#include "reclink/records/report.h"

#include "records/record_class_impl.h"

template class reclink::RecordClass<reclink::RecordFile::kReport>;
template class reclink::RecordClass<reclink::RecordFile::kSlideShow>;

int CReportDB::GetReportData(char const* patientKey, char const* reportNumber) {
  return LookUp(0, {patientKey, reportNumber});
}

int CSlideShowDB::GetSlideShowData(char const* patientKey, char const* slideShowNumber) {
  return LookUp(0, {patientKey, slideShowNumber});
}
