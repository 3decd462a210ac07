#pragma once
// The record files of the database: one row per file, with its record class,
// its ident and file name, its lengths, how its prime key is taken from a
// record and the layout of every key. Record classes, file creation and the
// utilities all read this one table.

#include <cstddef>
#include <cstdint>

#include "reclink/reclink_export.h"

namespace reclink {

// How GetPrimeKeyFromBuffer fills the prime-key buffer from the record.
enum class PrimeKeyRule : uint8_t {
  kStrings,            // buffer zeroed, then each key-0 string copied to its offset
  kStringsNotCleared,  // each key-0 string copied; bytes behind it kept
  kCopy,               // the first prime-key-length record bytes, byte for byte
};

// One segment of a key: a zero-terminated string field of the record.
struct KeySegment {
  uint16_t offset;  // offset of the field in the record
  uint8_t width;    // bytes of the field, terminator included
};

// One key of a file. In a key image the segments lie back to back.
struct KeyLayout {
  uint8_t segmentCount;     // 1 to 4
  KeySegment segments[4];   // in key order
  bool duplicates;          // several records may share the value

  // Bytes of the key image.
  constexpr int Length() const {
    int length = 0;
    for (int i = 0; i < segmentCount; ++i) length += segments[i].width;
    return length;
  }
  // Offset of segment i in the key image.
  constexpr int ImageOffset(int i) const {
    int offset = 0;
    for (int s = 0; s < i; ++s) offset += segments[s].width;
    return offset;
  }
};

// One record file.
struct RecordFileRow {
  const char* className;     // the record class, or nullptr for a file reached by number only
  const char* ident;         // record ident shown in boxes and written to the log
  const char* fileName;      // file name inside the database directory
  uint16_t recordLength;     // bytes of every record
  uint8_t primeKeyLength;    // bytes of the prime key (the length of key 0)
  PrimeKeyRule primeKeyRule; // how the prime key is taken from a record
  bool completesDirectory;   // directory constructor appends a missing backslash
  uint8_t keyCount;          // keys of the file, numbered from 0
  KeyLayout keys[4];         // key 0 is unique and holds the prime key
};

// Rows of the table, by name. The order is the table's order.
enum class RecordFile : int {
  kAddLat, kBody, kCaseInfo, kCaseSearchIndex, kCaseSearchInfo, kCaseTbl, kCasmas,
  kChevron, kCondition, kCustomTbl, kCvba, kDigi, kDoctor, kImageType, kLas, kMoex,
  kMvto, kOldPatient, kOwner, kPatientCaseInfo, kPatient, kPatient2, kPhoto, kPhoto2,
  kPhotoEX, kPileLat, kPilePA, kPointLat, kPointMO2, kPointMO, kPointPA, kReport,
  kSPPoint, kSPPointPA, kSlideShow, kSurgery, kSurgeryTreatment, kTZPhotoEX,
  kTZPhotoEXImg, kTZPhotoEXText, kTextTbl, kTraceLat, kTracePA, kMoex2,
};

namespace catalogue_detail {
using R = PrimeKeyRule;
constexpr KeyLayout Key1(int o0, int w0, bool dup = false) {
  return {1, {{uint16_t(o0), uint8_t(w0)}}, dup};
}
constexpr KeyLayout Key2(int o0, int w0, int o1, int w1) {
  return {2, {{uint16_t(o0), uint8_t(w0)}, {uint16_t(o1), uint8_t(w1)}}, false};
}
constexpr KeyLayout Key3(int o0, int w0, int o1, int w1, int o2, int w2) {
  return {3,
          {{uint16_t(o0), uint8_t(w0)}, {uint16_t(o1), uint8_t(w1)}, {uint16_t(o2), uint8_t(w2)}},
          false};
}
// The common per-patient key: patient key (0, 21) and a ten-digit string (21, 11).
constexpr KeyLayout kPatientSub = Key2(0, 21, 21, 11);

// clang-format off
inline constexpr RecordFileRow kTable[] = {
  // class               ident                  file                    record pk  prime key  completes  keys
  {"CAddLatDB",           "ADDLAT_DB",           "ADDLAT.BTR",           2000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CBodyDB",             "BODY_DB",             "BODY.BTR",              400, 21, R::kStrings, false, 1, {Key1(0, 21)}},
  {"CCaseInfoDB",         "CASE_DB",             "CASE.BTR",               64,  8, R::kStrings, false, 1, {Key2(0, 4, 4, 4)}},
  {"CCaseSearchIndexDB",  "CASEREF_DB",          "CASEREF.BTR",            64,  4, R::kStrings, false, 1, {Key1(0, 4)}},
  {"CCaseSearchInfoDB",   "CASERREG_DB",         "CASERREG.BTR",           16, 12, R::kStrings, false, 1, {Key3(0, 4, 4, 4, 8, 4)}},
  {"CCaseTblDB",          "CASEPA_DB",           "CASEPA.BTR",             64,  4, R::kStrings, false, 1, {Key1(0, 4)}},
  {"CCasmasDB",           "CASMAS_DB",           "CASMAS.BTR",           2000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CChevronDB",          "CHEVRON_DB",          "CHEVRON.BTR",           400, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CConditionDB",        "CONDITION_DB",        "CONDITION.BTR",          64,  3, R::kStrings, false, 1, {Key1(0, 3)}},
  {"CCustomTblDB",        "CUSTOMTBL_DB",        "CUSTOMTBL.BTR",         400,  8, R::kStringsNotCleared, false, 1, {Key2(0, 3, 3, 5)}},
  {"CCvbaDB",             "CVBA_DB",             "CVBA.BTR",              800, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CDigiDB",             "DIGI_DB",             "DIGI.BTR",              200, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CDoctorDB",           "DOCTOR_DB",           "DOCTOR.BTR",             64,  3, R::kStrings, false, 1, {Key1(0, 3)}},
  {"CImageTypeDB",        "IMGTYPE_DB",          "IMGTYPE.BTR",            64,  3, R::kCopy,    false, 1, {Key1(0, 3)}},
  {"CLasDB",              "LAS_DB",              "LAS.BTR",              1400, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CMoexDB",             "MOEX_DB",             "MOEX.BTR",              400, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CMvtoDB",             "MVTO_DB",             "MVTO.BTR",              320, 32, R::kStrings, false, 1, {kPatientSub}},
  {"COldPatientDB",       "OLDPATIENT_DB",       "PATIENT.BTR",           600, 21, R::kStringsNotCleared, true, 1, {Key1(0, 21)}},
  // Owner key 1, the owner name, lies at 5, right behind the owner code.
  {"COwnerDB",            "OWNER_DB",            "OWNER.BTR",             256,  5, R::kStrings, false, 2,
     {Key1(0, 5), Key1(5, 21, true)}},
  {"CPatientCaseInfoDB",  "CASEREG_DB",          "CASEREG.BTR",            32, 29, R::kStrings, false, 1, {Key3(0, 21, 21, 4, 25, 4)}},
  // Patient keys: number (0), name (21), kana (62); the patient ID of key 3
  // lies at 103, behind the kana name and before the exclusion flag at 156.
  {"CPatientDB",          "PATIENT_DB",          "PATIENT1.BTR",         3600, 21, R::kStringsNotCleared, true, 4,
     {Key1(0, 21), Key1(21, 41, true),
      Key1(62, 41, true), Key1(103, 21, true)}},
  {"CPatientDB2",         "PATIENT2_DB",         "PATIENT2.BTR",         4000, 21, R::kStringsNotCleared, false, 1, {Key1(0, 21)}},
  // Photo keys: patient key and photo number (0); the 21 bytes at 44 (1);
  // patient key, both grouping fields and the sort number (2).
  {"CPhotoDB",            "PHOTO_DB",            "PHOTO.BTR",              80, 32, R::kCopy,    false, 3,
     {kPatientSub, Key1(44, 21, true),
      {4, {{0, 21}, {32, 9}, {41, 3}, {65, 11}}, true}}},
  {"CPhotoDB2",           "PHOTO2_DB",           "PHOTO2.BTR",           4000, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CPhotoEXDB",          "PHOTOEX_DB",          "PHOTOEX.BTR",          4048, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CPileLatDB",          "PILELAT_DB",          "PILELAT.BTR",          1600, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CPilePADB",           "PILEPA_DB",           "PILEPA.BTR",            800, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CPointLatDB",         "POINTLAT_DB",         "POINTLAT.BTR",         3000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CPointMO2DB",         "POINTMO2_DB",         "POINTMO2.BTR",         4000, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CPointMODB",          "POINTMO_DB",          "POINTMO.BTR",          1408, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CPointPADB",          "POINTPA_DB",          "POINTPA.BTR",          4000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CReportDB",           "REPORT_DB",           "REPORT.BTR",           1000, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CSPPointDB",          "SPPOINT_DB",          "SPPOINT.BTR",          4000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CSPPointPADB",        "SPPOINTP_DB",         "SPPOINTP.BTR",         4000, 32, R::kStrings, false, 1, {kPatientSub}},
  {"CSlideShowDB",        "SLIDESHOW_DB",        "SLIDESHOW.BTR",        1000, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CSurgeryDB",          "SURGERY_DB",          "SURGERY.BTR",          2080, 43, R::kCopy,    false, 1, {Key3(0, 21, 21, 11, 32, 11)}},
  {"CSurgeryTreatmentDB", "SURGERYTREATMENT_DB", "SURGERYTREATMENT.BTR",  800, 48, R::kCopy,    false, 1,
     {{4, {{0, 21}, {21, 11}, {32, 11}, {43, 5}}, false}}},
  {"CTZPhotoEXDB",        "TZPHOTOEX_DB",        "TZPHOTOEX.BTR",        1000, 32, R::kCopy,    false, 1, {kPatientSub}},
  {"CTZPhotoEXImgDB",     "TZPHOTOEXIMG_DB",     "TZPHOTOEXIMG.BTR",      400, 38, R::kCopy,    false, 1, {Key3(0, 21, 21, 11, 32, 6)}},
  {"CTZPhotoEXTextDB",    "TZPHOTOEXTEXT_DB",    "TZPHOTOEXTEXT.BTR",    4000, 38, R::kCopy,    false, 1, {Key3(0, 21, 21, 11, 32, 6)}},
  {"CTextTblDB",          "TEXTTBL_DB",          "TEXTTBL.BTR",          4000,  9, R::kCopy,    false, 1, {Key2(0, 4, 4, 5)}},
  // Files reached only by database number.
  {nullptr,               "TRACELAT_DB",         "TRACELAT.BTR",         2000, 35, R::kStrings, false, 1, {Key3(0, 21, 21, 11, 32, 3)}},
  {nullptr,               "TRACEPA_DB",          "TRACEPA.BTR",          2000, 35, R::kStrings, false, 1, {Key3(0, 21, 21, 11, 32, 3)}},
  {nullptr,               "MOEX2_DB",            "MOEX2.BTR",            2000, 32, R::kStrings, false, 1, {kPatientSub}},
};
// clang-format on
}  // namespace catalogue_detail

// Every record file of a database, in the order of RecordFile.
inline constexpr const auto& kRecordFiles = catalogue_detail::kTable;

inline constexpr int kRecordFileCount =
    static_cast<int>(sizeof(kRecordFiles) / sizeof(kRecordFiles[0]));  // rows of the table

// The row of file f.
constexpr const RecordFileRow& RecordFileOf(RecordFile f) { return kRecordFiles[static_cast<int>(f)]; }

// The row whose file name is fileName (exact bytes), or nullptr.
RECLINK_EXPORT const RecordFileRow* FindRecordFile(const char* fileName);

static_assert(kRecordFileCount == static_cast<int>(RecordFile::kMoex2) + 1,
              "every row has its name");

}  // namespace reclink
