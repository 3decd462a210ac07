#include "class_table.h"

#include "reclink/records.h"

namespace reclink::test {

namespace {

template <class C, class M, size_t... I>
int CallWith(C& object, M method, const char* const* args, std::index_sequence<I...>) {
  return (object.*method)(args[I]...);
}

template <class C, class... A>
int CallLookUp(C& object, int (C::*method)(A...), const char* const* args) {
  return CallWith(object, method, args, std::index_sequence_for<A...>{});
}

template <class C, auto LookUpMethod>
ClassCase Make(const char* name) {
  return ClassCase{
      name,
      []() -> std::unique_ptr<CBaseRecLink> { return std::make_unique<C>(); },
      [](const char* dir) -> std::unique_ptr<CBaseRecLink> { return std::make_unique<C>(dir); },
      [](CBaseRecLink& from) -> std::unique_ptr<CBaseRecLink> {
        return std::make_unique<C>(static_cast<C&>(from));
      },
      [](CBaseRecLink& to, CBaseRecLink& from) { static_cast<C&>(to) = static_cast<C&>(from); },
      [](CBaseRecLink& o) { return static_cast<C&>(o).GetRecordBuffer(); },
      [](CBaseRecLink& o) { return static_cast<C&>(o).GetPrimeKeyBuffer(); },
      [](CBaseRecLink& o, const char* const* args) {
        return CallLookUp(static_cast<C&>(o), LookUpMethod, args);
      },
  };
}

#define RECORD_CLASS(C, M) Make<C, &C::M>(#C)

}  // namespace

const ClassCase kClasses[] = {
    RECORD_CLASS(CAddLatDB, GetAdditionalLatData),
    RECORD_CLASS(CBodyDB, GetBodyData),
    RECORD_CLASS(CCaseInfoDB, GetCaseInfoData),
    RECORD_CLASS(CCaseSearchIndexDB, GetCaseSearchIndexData),
    RECORD_CLASS(CCaseSearchInfoDB, GetCaseSearchInfoData),
    RECORD_CLASS(CCaseTblDB, GetCaseTblData),
    RECORD_CLASS(CCasmasDB, GetCasmasData),
    RECORD_CLASS(CChevronDB, GetChevronData),
    RECORD_CLASS(CConditionDB, GetConditionData),
    RECORD_CLASS(CCustomTblDB, GetCustomTblData),
    RECORD_CLASS(CCvbaDB, GetCvbaData),
    RECORD_CLASS(CDigiDB, GetDigiData),
    RECORD_CLASS(CDoctorDB, GetDoctorData),
    RECORD_CLASS(CImageTypeDB, GetImageTypeData),
    RECORD_CLASS(CLasDB, GetLasData),
    RECORD_CLASS(CMoexDB, GetMOEXData),
    RECORD_CLASS(CMvtoDB, GetMVTOData),
    RECORD_CLASS(COldPatientDB, GetOldPatientData),
    RECORD_CLASS(COwnerDB, GetOwnerData),
    RECORD_CLASS(CPatientCaseInfoDB, GetPatientCaseInfoData),
    RECORD_CLASS(CPatientDB, GetPatientData),
    RECORD_CLASS(CPatientDB2, GetPatient2Data),
    RECORD_CLASS(CPhotoDB, GetPhotoData),
    RECORD_CLASS(CPhotoDB2, GetPhoto2Data),
    RECORD_CLASS(CPhotoEXDB, GetPhotoEXData),
    RECORD_CLASS(CPileLatDB, GetPileLatData),
    RECORD_CLASS(CPilePADB, GetPilePAData),
    RECORD_CLASS(CPointLatDB, GetPointLatData),
    RECORD_CLASS(CPointMO2DB, GetPointMO2Data),
    RECORD_CLASS(CPointMODB, GetPointMOData),
    RECORD_CLASS(CPointPADB, GetPointPAData),
    RECORD_CLASS(CReportDB, GetReportData),
    RECORD_CLASS(CSPPointDB, GetSPPointData),
    RECORD_CLASS(CSPPointPADB, GetSPPointPAData),
    RECORD_CLASS(CSlideShowDB, GetSlideShowData),
    RECORD_CLASS(CSurgeryDB, GetSurgeryData),
    RECORD_CLASS(CSurgeryTreatmentDB, GetSurgeryTreamentData),
    RECORD_CLASS(CTZPhotoEXDB, GetTZPhotoEXData),
    RECORD_CLASS(CTZPhotoEXImgDB, GetTZPhotoEXImgData),
    RECORD_CLASS(CTZPhotoEXTextDB, GetTZPhotoEXTextData),
    RECORD_CLASS(CTextTblDB, GetTextTblData),
};
const int kClassCount = static_cast<int>(sizeof kClasses / sizeof kClasses[0]);

}  // namespace reclink::test
