#pragma once
// The forty-one record classes with their look-ups on key 0, for the suites
// that walk every class.

#include <utility>

#include "reclink/records.h"

namespace reclink::test {

// Calls f.template operator()<C, &C::Get...Data>() for every record class C.
template <class F>
void ForEachClass(F f) {
  f.template operator()<CAddLatDB, &CAddLatDB::GetAdditionalLatData>();
  f.template operator()<CBodyDB, &CBodyDB::GetBodyData>();
  f.template operator()<CCaseInfoDB, &CCaseInfoDB::GetCaseInfoData>();
  f.template operator()<CCaseSearchIndexDB, &CCaseSearchIndexDB::GetCaseSearchIndexData>();
  f.template operator()<CCaseSearchInfoDB, &CCaseSearchInfoDB::GetCaseSearchInfoData>();
  f.template operator()<CCaseTblDB, &CCaseTblDB::GetCaseTblData>();
  f.template operator()<CCasmasDB, &CCasmasDB::GetCasmasData>();
  f.template operator()<CChevronDB, &CChevronDB::GetChevronData>();
  f.template operator()<CConditionDB, &CConditionDB::GetConditionData>();
  f.template operator()<CCustomTblDB, &CCustomTblDB::GetCustomTblData>();
  f.template operator()<CCvbaDB, &CCvbaDB::GetCvbaData>();
  f.template operator()<CDigiDB, &CDigiDB::GetDigiData>();
  f.template operator()<CDoctorDB, &CDoctorDB::GetDoctorData>();
  f.template operator()<CImageTypeDB, &CImageTypeDB::GetImageTypeData>();
  f.template operator()<CLasDB, &CLasDB::GetLasData>();
  f.template operator()<CMoexDB, &CMoexDB::GetMOEXData>();
  f.template operator()<CMvtoDB, &CMvtoDB::GetMVTOData>();
  f.template operator()<COldPatientDB, &COldPatientDB::GetOldPatientData>();
  f.template operator()<COwnerDB, &COwnerDB::GetOwnerData>();
  f.template operator()<CPatientCaseInfoDB, &CPatientCaseInfoDB::GetPatientCaseInfoData>();
  f.template operator()<CPatientDB, &CPatientDB::GetPatientData>();
  f.template operator()<CPatientDB2, &CPatientDB2::GetPatient2Data>();
  f.template operator()<CPhotoDB, &CPhotoDB::GetPhotoData>();
  f.template operator()<CPhotoDB2, &CPhotoDB2::GetPhoto2Data>();
  f.template operator()<CPhotoEXDB, &CPhotoEXDB::GetPhotoEXData>();
  f.template operator()<CPileLatDB, &CPileLatDB::GetPileLatData>();
  f.template operator()<CPilePADB, &CPilePADB::GetPilePAData>();
  f.template operator()<CPointLatDB, &CPointLatDB::GetPointLatData>();
  f.template operator()<CPointMO2DB, &CPointMO2DB::GetPointMO2Data>();
  f.template operator()<CPointMODB, &CPointMODB::GetPointMOData>();
  f.template operator()<CPointPADB, &CPointPADB::GetPointPAData>();
  f.template operator()<CReportDB, &CReportDB::GetReportData>();
  f.template operator()<CSPPointDB, &CSPPointDB::GetSPPointData>();
  f.template operator()<CSPPointPADB, &CSPPointPADB::GetSPPointPAData>();
  f.template operator()<CSlideShowDB, &CSlideShowDB::GetSlideShowData>();
  f.template operator()<CSurgeryDB, &CSurgeryDB::GetSurgeryData>();
  f.template operator()<CSurgeryTreatmentDB, &CSurgeryTreatmentDB::GetSurgeryTreamentData>();
  f.template operator()<CTZPhotoEXDB, &CTZPhotoEXDB::GetTZPhotoEXData>();
  f.template operator()<CTZPhotoEXImgDB, &CTZPhotoEXImgDB::GetTZPhotoEXImgData>();
  f.template operator()<CTZPhotoEXTextDB, &CTZPhotoEXTextDB::GetTZPhotoEXTextData>();
  f.template operator()<CTextTblDB, &CTextTblDB::GetTextTblData>();
}

// Calls the look-up method of object with as many of values as it takes.
template <class C, class... A>
int CallLookUp(C& object, int (C::*method)(A...), const char* const* values) {
  return [&]<size_t... I>(std::index_sequence<I...>) { return (object.*method)(values[I]...); }
  (std::index_sequence_for<A...>{});
}

}  // namespace reclink::test
