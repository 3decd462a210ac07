#pragma once
// The record classes, each named by its look-up on key 0, for the suites that
// walk every class.

#include <utility>

#include "reclink/records.h"

namespace reclink::test {

// The class of a look-up; declared only, for decltype.
template <class C, class... A>
C ClassOf(int (C::*)(A...));

template <auto... LookUps>
struct ClassWalk {
  static constexpr int kClasses = sizeof...(LookUps);
  // Calls f.template operator()<C, LookUp>() for the class C of every LookUp.
  template <class F>
  static void ForEach(F f) {
    (f.template operator()<decltype(ClassOf(LookUps)), LookUps>(), ...);
  }
};

using EveryClass = ClassWalk<
    &CAddLatDB::GetAdditionalLatData, &CBodyDB::GetBodyData, &CCaseInfoDB::GetCaseInfoData,
    &CCaseSearchIndexDB::GetCaseSearchIndexData, &CCaseSearchInfoDB::GetCaseSearchInfoData,
    &CCaseTblDB::GetCaseTblData, &CCasmasDB::GetCasmasData, &CChevronDB::GetChevronData,
    &CConditionDB::GetConditionData, &CCustomTblDB::GetCustomTblData, &CCvbaDB::GetCvbaData,
    &CDigiDB::GetDigiData, &CDoctorDB::GetDoctorData, &CImageTypeDB::GetImageTypeData,
    &CLasDB::GetLasData, &CMoexDB::GetMOEXData, &CMvtoDB::GetMVTOData,
    &COldPatientDB::GetOldPatientData, &COwnerDB::GetOwnerData,
    &CPatientCaseInfoDB::GetPatientCaseInfoData, &CPatientDB::GetPatientData,
    &CPatientDB2::GetPatient2Data, &CPhotoDB::GetPhotoData, &CPhotoDB2::GetPhoto2Data,
    &CPhotoEXDB::GetPhotoEXData, &CPileLatDB::GetPileLatData, &CPilePADB::GetPilePAData,
    &CPointLatDB::GetPointLatData, &CPointMO2DB::GetPointMO2Data, &CPointMODB::GetPointMOData,
    &CPointPADB::GetPointPAData, &CReportDB::GetReportData, &CSPPointDB::GetSPPointData,
    &CSPPointPADB::GetSPPointPAData, &CSlideShowDB::GetSlideShowData,
    &CSurgeryDB::GetSurgeryData, &CSurgeryTreatmentDB::GetSurgeryTreamentData,
    &CTZPhotoEXDB::GetTZPhotoEXData, &CTZPhotoEXImgDB::GetTZPhotoEXImgData,
    &CTZPhotoEXTextDB::GetTZPhotoEXTextData, &CTextTblDB::GetTextTblData>;

// Every file of the catalogue that has a record class is walked.
static_assert(EveryClass::kClasses == static_cast<int>(RecordFile::kTextTbl) + 1);

// Calls the look-up method of object with as many of values as it takes.
template <class C, class... A>
int CallLookUp(C& object, int (C::*method)(A...), const char* const* values) {
  return [&]<size_t... I>(std::index_sequence<I...>) { return (object.*method)(values[I]...); }
  (std::index_sequence_for<A...>{});
}

}  // namespace reclink::test
