#include "reclink/records/report.h"

int CReportDB::GetReportData(char const* patientKey, char const* reportNumber) {
  return LookUp(0, {patientKey, reportNumber});
}

int CSlideShowDB::GetSlideShowData(char const* patientKey, char const* slideShowNumber) {
  return LookUp(0, {patientKey, slideShowNumber});
}
