#include "numbered/db_number_table.h"

namespace reclink::numbered {

const DbNumberEntry kDbNumbers[kDbNumberCount] = {
    {10, nullptr, "", 1, 80},
    {110, "PATIENT1.BTR", "PATIENT_DB", 0, 3600},
    {120, "PHOTO.BTR", "PHOTO_DB", 2, 80},
    {130, "IMGTYPE.BTR", "IMGTYPE_DB", 3, 64},
    {140, "POINTLAT.BTR", "POINTLAT_DB", 4, 3000},
    {150, "CONDITION.BTR", "CONDITION_DB", 5, 64},
    {160, "POINTPA.BTR", "POINTPA_DB", 6, 4000},
    {170, "SPPOINT.BTR", "SPPOINT_DB", 7, 4000},
    {180, "POINTMO.BTR", "POINTMO_DB", 9, 1408},
    {190, "DOCTOR.BTR", "DOCTOR_DB", 10, 64},
    {200, "CASEPA.BTR", "CASEPA_DB", 11, 64},
    {210, "CASE.BTR", "CASE_DB", 12, 64},
    {220, "CASEREG.BTR", "CASEREG_DB", 13, 32},
    {230, "CASEREF.BTR", "CASEREF_DB", 14, 64},
    {240, "CASERREG.BTR", "CASERREG_DB", 15, 16},
    {250, "CHEVRON.BTR", "CHEVRON_DB", 16, 400},
    {260, "SPPOINTP.BTR", "SPPOINTP_DB", 8, 4000},
    {270, "LAS.BTR", "LAS_DB", 17, 1400},
    {280, "PILELAT.BTR", "PILELAT_DB", 18, 1600},
    {290, "MVTO.BTR", "MVTO_DB", 19, 320},
    {300, "MOEX.BTR", "MOEX_DB", 20, 400},
    {310, "BODY.BTR", "BODY_DB", 21, 400},
    {320, "PILEPA.BTR", "PILEPA_DB", 22, 800},
    {330, "PHOTOEX.BTR", "PHOTOEX_DB", 23, 4048},
    {340, "ADDLAT.BTR", "ADDLAT_DB", 24, 2000},
    {350, "CVBA.BTR", "CVBA_DB", 25, 800},
    {360, "CASMAS.BTR", "CASMAS_DB", 26, 2000},
    {450, "DIGI.BTR", "DIGI_DB", 27, 200},
    {460, "PHOTO2.BTR", "PHOTO2_DB", 28, 4000},
    {470, "TRACELAT.BTR", "TRACELAT_DB", 29, 2000},
    {480, "TRACEPA.BTR", "TRACEPA_DB", 30, 2000},
    {490, "MOEX2.BTR", "MOEX2_DB", 31, 2000},
};

const DbNumberEntry* FindDbNumber(int dbno) {
  for (const DbNumberEntry& entry : kDbNumbers) {
    if (entry.dbno == dbno) return &entry;
  }
  return nullptr;
}

}  // namespace reclink::numbered
