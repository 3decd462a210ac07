#include "class_table.h"

#include <initializer_list>
#include <utility>

#include "reclink/records.h"

namespace reclink::test {

namespace {

// Calls method with as many of args as it takes.
template <class C, class... A>
int CallLookUp(C& object, int (C::*method)(A...), const char* const* args) {
  return [&]<size_t... I>(std::index_sequence<I...>) {
    return (object.*method)(args[I]...);
  }(std::index_sequence_for<A...>{});
}

template <class C, auto LookUp>
ClassCase Make(const char* name, const char* ident, const char* fileName, int recordLength,
               PrimeKeyRule rule, bool completes, std::initializer_list<int> widths) {
  ClassCase c{name, ident, fileName, recordLength, rule, completes, {}, 0, {}, 0,
      []() -> std::unique_ptr<CBaseRecLink> { return std::make_unique<C>(); },
      [](const char* dir) -> std::unique_ptr<CBaseRecLink> { return std::make_unique<C>(dir); },
      [](CBaseRecLink& from) -> std::unique_ptr<CBaseRecLink> {
        return std::make_unique<C>(static_cast<C&>(from));
      },
      [](CBaseRecLink& to, CBaseRecLink& from) { static_cast<C&>(to) = static_cast<C&>(from); },
      [](CBaseRecLink& o) { return static_cast<C&>(o).GetRecordBuffer(); },
      [](CBaseRecLink& o) { return static_cast<C&>(o).GetPrimeKeyBuffer(); },
      [](CBaseRecLink& o, const char* const* args) {
        return CallLookUp(static_cast<C&>(o), LookUp, args);
      }};
  for (int w : widths) {
    c.widths[c.segments] = w;
    c.offsets[c.segments++] = c.keyLength;
    c.keyLength += w;
  }
  return c;
}

constexpr PrimeKeyRule Str = PrimeKeyRule::kStrings;
constexpr PrimeKeyRule Keep = PrimeKeyRule::kStringsNotCleared;
constexpr PrimeKeyRule Copy = PrimeKeyRule::kCopy;

#define ROW(C, M, ...) Make<C, &C::M>(#C, __VA_ARGS__)

}  // namespace

// clang-format off
const ClassCase kClasses[41] = {
    ROW(CAddLatDB, GetAdditionalLatData, "ADDLAT_DB", "ADDLAT.BTR", 2000, Str, false, {21, 11}),
    ROW(CBodyDB, GetBodyData, "BODY_DB", "BODY.BTR", 400, Str, false, {21}),
    ROW(CCaseInfoDB, GetCaseInfoData, "CASE_DB", "CASE.BTR", 64, Str, false, {4, 4}),
    ROW(CCaseSearchIndexDB, GetCaseSearchIndexData, "CASEREF_DB", "CASEREF.BTR", 64, Str, false, {4}),
    ROW(CCaseSearchInfoDB, GetCaseSearchInfoData, "CASERREG_DB", "CASERREG.BTR", 16, Str, false, {4, 4, 4}),
    ROW(CCaseTblDB, GetCaseTblData, "CASEPA_DB", "CASEPA.BTR", 64, Str, false, {4}),
    ROW(CCasmasDB, GetCasmasData, "CASMAS_DB", "CASMAS.BTR", 2000, Str, false, {21, 11}),
    ROW(CChevronDB, GetChevronData, "CHEVRON_DB", "CHEVRON.BTR", 400, Str, false, {21, 11}),
    ROW(CConditionDB, GetConditionData, "CONDITION_DB", "CONDITION.BTR", 64, Str, false, {3}),
    ROW(CCustomTblDB, GetCustomTblData, "CUSTOMTBL_DB", "CUSTOMTBL.BTR", 400, Keep, false, {3, 5}),
    ROW(CCvbaDB, GetCvbaData, "CVBA_DB", "CVBA.BTR", 800, Str, false, {21, 11}),
    ROW(CDigiDB, GetDigiData, "DIGI_DB", "DIGI.BTR", 200, Copy, false, {21, 11}),
    ROW(CDoctorDB, GetDoctorData, "DOCTOR_DB", "DOCTOR.BTR", 64, Str, false, {3}),
    ROW(CImageTypeDB, GetImageTypeData, "IMGTYPE_DB", "IMGTYPE.BTR", 64, Copy, false, {3}),
    ROW(CLasDB, GetLasData, "LAS_DB", "LAS.BTR", 1400, Str, false, {21, 11}),
    ROW(CMoexDB, GetMOEXData, "MOEX_DB", "MOEX.BTR", 400, Str, false, {21, 11}),
    ROW(CMvtoDB, GetMVTOData, "MVTO_DB", "MVTO.BTR", 320, Str, false, {21, 11}),
    ROW(COldPatientDB, GetOldPatientData, "OLDPATIENT_DB", "PATIENT.BTR", 600, Keep, true, {21}),
    ROW(COwnerDB, GetOwnerData, "OWNER_DB", "OWNER.BTR", 256, Str, false, {5}),
    ROW(CPatientCaseInfoDB, GetPatientCaseInfoData, "CASEREG_DB", "CASEREG.BTR", 32, Str, false, {21, 4, 4}),
    ROW(CPatientDB, GetPatientData, "PATIENT_DB", "PATIENT1.BTR", 3600, Keep, true, {21}),
    ROW(CPatientDB2, GetPatient2Data, "PATIENT2_DB", "PATIENT2.BTR", 4000, Keep, false, {21}),
    ROW(CPhotoDB, GetPhotoData, "PHOTO_DB", "PHOTO.BTR", 80, Copy, false, {21, 11}),
    ROW(CPhotoDB2, GetPhoto2Data, "PHOTO2_DB", "PHOTO2.BTR", 4000, Copy, false, {21, 11}),
    ROW(CPhotoEXDB, GetPhotoEXData, "PHOTOEX_DB", "PHOTOEX.BTR", 4048, Copy, false, {21, 11}),
    ROW(CPileLatDB, GetPileLatData, "PILELAT_DB", "PILELAT.BTR", 1600, Str, false, {21, 11}),
    ROW(CPilePADB, GetPilePAData, "PILEPA_DB", "PILEPA.BTR", 800, Str, false, {21, 11}),
    ROW(CPointLatDB, GetPointLatData, "POINTLAT_DB", "POINTLAT.BTR", 3000, Str, false, {21, 11}),
    ROW(CPointMO2DB, GetPointMO2Data, "POINTMO2_DB", "POINTMO2.BTR", 4000, Copy, false, {21, 11}),
    ROW(CPointMODB, GetPointMOData, "POINTMO_DB", "POINTMO.BTR", 1408, Copy, false, {21, 11}),
    ROW(CPointPADB, GetPointPAData, "POINTPA_DB", "POINTPA.BTR", 4000, Str, false, {21, 11}),
    ROW(CReportDB, GetReportData, "REPORT_DB", "REPORT.BTR", 1000, Copy, false, {21, 11}),
    ROW(CSPPointDB, GetSPPointData, "SPPOINT_DB", "SPPOINT.BTR", 4000, Str, false, {21, 11}),
    ROW(CSPPointPADB, GetSPPointPAData, "SPPOINTP_DB", "SPPOINTP.BTR", 4000, Str, false, {21, 11}),
    ROW(CSlideShowDB, GetSlideShowData, "SLIDESHOW_DB", "SLIDESHOW.BTR", 1000, Copy, false, {21, 11}),
    ROW(CSurgeryDB, GetSurgeryData, "SURGERY_DB", "SURGERY.BTR", 2080, Copy, false, {21, 11, 11}),
    ROW(CSurgeryTreatmentDB, GetSurgeryTreamentData, "SURGERYTREATMENT_DB", "SURGERYTREATMENT.BTR", 800, Copy, false, {21, 11, 11, 5}),
    ROW(CTZPhotoEXDB, GetTZPhotoEXData, "TZPHOTOEX_DB", "TZPHOTOEX.BTR", 1000, Copy, false, {21, 11}),
    ROW(CTZPhotoEXImgDB, GetTZPhotoEXImgData, "TZPHOTOEXIMG_DB", "TZPHOTOEXIMG.BTR", 400, Copy, false, {21, 11, 6}),
    ROW(CTZPhotoEXTextDB, GetTZPhotoEXTextData, "TZPHOTOEXTEXT_DB", "TZPHOTOEXTEXT.BTR", 4000, Copy, false, {21, 11, 6}),
    ROW(CTextTblDB, GetTextTblData, "TEXTTBL_DB", "TEXTTBL.BTR", 4000, Copy, false, {4, 5}),
};
// clang-format on

}  // namespace reclink::test
