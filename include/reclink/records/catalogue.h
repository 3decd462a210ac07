#pragma once
// The record files of the database: one row per file, with its record class,
// its ident and file name, its lengths, how its prime key is taken from a
// record and the layout of every key (with the name of each field), and the
// two other fields the library touches. The record classes, file creation,
// the numbered interface, the point-lat upgrade and the utility all read this
// one table.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

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
  uint16_t offset;   // offset of the field in the record
  uint8_t width;     // bytes of the field, terminator included
  const char* name = nullptr;  // what the field holds, as the utility shows it; nullptr: unnamed
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

// A key of the segments given, in key order (at most four).
constexpr KeyLayout KeyOf(std::initializer_list<KeySegment> segments, bool duplicates = false) {
  KeyLayout key{0, {}, duplicates};
  for (const KeySegment& s : segments) key.segments[key.segmentCount++] = s;
  return key;
}

// The patient key that opens every patient-owned record: a string of at most
// 20 characters at 0.
inline constexpr KeySegment kPatientKeyField = {0, 21, "patient key"};

// The common per-patient key: the patient key and a number or sub-key of at
// most ten characters at 21, named second.
constexpr KeyLayout PatientKeyAnd(const char* second) {
  return KeyOf({kPatientKeyField, {21, 11, second}});
}

// One record file.
struct RecordFileRow {
  const char* className;     // the record class, or nullptr for a file reached by number only
  const char* ident;         // record ident shown in boxes and written to the log
  const char* fileName;      // file name inside the database directory
  uint16_t recordLength;     // bytes of every record
  PrimeKeyRule primeKeyRule; // how the prime key is taken from a record
  bool completesDirectory;   // directory constructor appends a missing backslash
  uint8_t keyCount;          // keys of the file, numbered from 0
  KeyLayout keys[4];         // key 0 is unique and holds the prime key

  // Bytes of the prime key: the length of key 0.
  constexpr int PrimeKeyLength() const { return keys[0].Length(); }
};

// Rows of the table, by name, in the table's order: X(name) once each, for
// what is declared or defined per file (the enumerators; the record classes'
// instantiations). The files of the record classes come first, then those
// reached only by database number.
#define RECLINK_CLASS_RECORD_FILES(X) \
  X(kAddLat) X(kBody) X(kCaseInfo) X(kCaseSearchIndex) X(kCaseSearchInfo) X(kCaseTbl) X(kCasmas) \
  X(kChevron) X(kCondition) X(kCustomTbl) X(kCvba) X(kDigi) X(kDoctor) X(kImageType) X(kLas) \
  X(kMoex) X(kMvto) X(kOldPatient) X(kOwner) X(kPatientCaseInfo) X(kPatient) X(kPatient2) \
  X(kPhoto) X(kPhoto2) X(kPhotoEX) X(kPileLat) X(kPilePA) X(kPointLat) X(kPointMO2) X(kPointMO) \
  X(kPointPA) X(kReport) X(kSPPoint) X(kSPPointPA) X(kSlideShow) X(kSurgery) X(kSurgeryTreatment) \
  X(kTZPhotoEX) X(kTZPhotoEXImg) X(kTZPhotoEXText) X(kTextTbl)
#define RECLINK_NUMBERED_RECORD_FILES(X) X(kTraceLat) X(kTracePA) X(kMoex2)

enum class RecordFile : int {
#define RECLINK_RECORD_FILE_ENUMERATOR(name) name,
  RECLINK_CLASS_RECORD_FILES(RECLINK_RECORD_FILE_ENUMERATOR)
  RECLINK_NUMBERED_RECORD_FILES(RECLINK_RECORD_FILE_ENUMERATOR)
#undef RECLINK_RECORD_FILE_ENUMERATOR
};

// clang-format off
// Every record file of a database, in the order of RecordFile. Segments without
// a name hold codes the utility shows by key number.
inline constexpr RecordFileRow kRecordFiles[] = {
  // class               ident                  file                    record prime key          completes keys
  {"CAddLatDB",           "ADDLAT_DB",           "ADDLAT.BTR",           2000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CBodyDB",             "BODY_DB",             "BODY.BTR",              400, PrimeKeyRule::kStrings, false, 1, {KeyOf({kPatientKeyField})}},
  {"CCaseInfoDB",         "CASE_DB",             "CASE.BTR",               64, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 4}, {4, 4}})}},
  {"CCaseSearchIndexDB",  "CASEREF_DB",          "CASEREF.BTR",            64, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 4}})}},
  {"CCaseSearchInfoDB",   "CASERREG_DB",         "CASERREG.BTR",           16, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 4}, {4, 4}, {8, 4}})}},
  {"CCaseTblDB",          "CASEPA_DB",           "CASEPA.BTR",             64, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 4}})}},
  {"CCasmasDB",           "CASMAS_DB",           "CASMAS.BTR",           2000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CChevronDB",          "CHEVRON_DB",          "CHEVRON.BTR",           400, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CConditionDB",        "CONDITION_DB",        "CONDITION.BTR",          64, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 3}})}},
  {"CCustomTblDB",        "CUSTOMTBL_DB",        "CUSTOMTBL.BTR",         400, PrimeKeyRule::kStringsNotCleared, false, 1,
     {KeyOf({{0, 3, "table code"}, {3, 5, "item code"}})}},
  {"CCvbaDB",             "CVBA_DB",             "CVBA.BTR",              800, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CDigiDB",             "DIGI_DB",             "DIGI.BTR",              200, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("sub-key")}},
  {"CDoctorDB",           "DOCTOR_DB",           "DOCTOR.BTR",             64, PrimeKeyRule::kStrings, false, 1, {KeyOf({{0, 3}})}},
  {"CImageTypeDB",        "IMGTYPE_DB",          "IMGTYPE.BTR",            64, PrimeKeyRule::kCopy,    false, 1, {KeyOf({{0, 3}})}},
  {"CLasDB",              "LAS_DB",              "LAS.BTR",              1400, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CMoexDB",             "MOEX_DB",             "MOEX.BTR",              400, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CMvtoDB",             "MVTO_DB",             "MVTO.BTR",              320, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"COldPatientDB",       "OLDPATIENT_DB",       "PATIENT.BTR",           600, PrimeKeyRule::kStringsNotCleared, true, 1,
     {KeyOf({{0, 21, "patient number"}})}},
  // Owner key 1, the owner name, lies at 5, right behind the owner code.
  {"COwnerDB",            "OWNER_DB",            "OWNER.BTR",             256, PrimeKeyRule::kStrings, false, 2,
     {KeyOf({{0, 5, "owner code"}}), KeyOf({{5, 21, "owner name"}}, true)}},
  {"CPatientCaseInfoDB",  "CASEREG_DB",          "CASEREG.BTR",            32, PrimeKeyRule::kStrings, false, 1,
     {KeyOf({kPatientKeyField, {21, 4, "case code 1"}, {25, 4, "case code 2"}})}},
  // Patient keys: number (0), name (21), kana (62); the patient ID of key 3
  // lies at 103, behind the kana name and before the exclusion flag at 156.
  {"CPatientDB",          "PATIENT_DB",          "PATIENT1.BTR",         3600, PrimeKeyRule::kStringsNotCleared, true, 4,
     {KeyOf({{0, 21, "patient number"}}), KeyOf({{21, 41, "patient name"}}, true),
      KeyOf({{62, 41, "kana name"}}, true), KeyOf({{103, 21, "patient ID"}}, true)}},
  {"CPatientDB2",         "PATIENT2_DB",         "PATIENT2.BTR",         4000, PrimeKeyRule::kStringsNotCleared, false, 1,
     {KeyOf({{0, 21, "patient number"}})}},
  // Photo keys: patient key and photo number (0); the 21 bytes at 44 (1);
  // patient key, both grouping fields and the sort number (2).
  {"CPhotoDB",            "PHOTO_DB",            "PHOTO.BTR",              80, PrimeKeyRule::kCopy,    false, 3,
     {PatientKeyAnd("photo number"), KeyOf({{44, 21}}, true),
      KeyOf({kPatientKeyField, {32, 9, "first grouping field"}, {41, 3, "second grouping field"},
             {65, 11, "sort number"}}, true)}},
  {"CPhotoDB2",           "PHOTO2_DB",           "PHOTO2.BTR",           4000, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("photo number")}},
  {"CPhotoEXDB",          "PHOTOEX_DB",          "PHOTOEX.BTR",          4048, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("photo number")}},
  {"CPileLatDB",          "PILELAT_DB",          "PILELAT.BTR",          1600, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CPilePADB",           "PILEPA_DB",           "PILEPA.BTR",            800, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CPointLatDB",         "POINTLAT_DB",         "POINTLAT.BTR",         3000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CPointMO2DB",         "POINTMO2_DB",         "POINTMO2.BTR",         4000, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("sub-key")}},
  {"CPointMODB",          "POINTMO_DB",          "POINTMO.BTR",          1408, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("sub-key")}},
  {"CPointPADB",          "POINTPA_DB",          "POINTPA.BTR",          4000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CReportDB",           "REPORT_DB",           "REPORT.BTR",           1000, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("report number")}},
  {"CSPPointDB",          "SPPOINT_DB",          "SPPOINT.BTR",          4000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CSPPointPADB",        "SPPOINTP_DB",         "SPPOINTP.BTR",         4000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
  {"CSlideShowDB",        "SLIDESHOW_DB",        "SLIDESHOW.BTR",        1000, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("slide-show number")}},
  {"CSurgeryDB",          "SURGERY_DB",          "SURGERY.BTR",          2080, PrimeKeyRule::kCopy,    false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "surgery field 2"}, {32, 11, "surgery field 3"}})}},
  {"CSurgeryTreatmentDB", "SURGERYTREATMENT_DB", "SURGERYTREATMENT.BTR",  800, PrimeKeyRule::kCopy,    false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "surgery field 2"}, {32, 11, "surgery field 3"},
             {43, 5, "treatment item"}})}},
  {"CTZPhotoEXDB",        "TZPHOTOEX_DB",        "TZPHOTOEX.BTR",        1000, PrimeKeyRule::kCopy,    false, 1, {PatientKeyAnd("photo-set number")}},
  {"CTZPhotoEXImgDB",     "TZPHOTOEXIMG_DB",     "TZPHOTOEXIMG.BTR",      400, PrimeKeyRule::kCopy,    false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "photo-set number"}, {32, 6, "item number"}})}},
  {"CTZPhotoEXTextDB",    "TZPHOTOEXTEXT_DB",    "TZPHOTOEXTEXT.BTR",    4000, PrimeKeyRule::kCopy,    false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "photo-set number"}, {32, 6, "item number"}})}},
  {"CTextTblDB",          "TEXTTBL_DB",          "TEXTTBL.BTR",          4000, PrimeKeyRule::kCopy,    false, 1,
     {KeyOf({{0, 4, "text key 1"}, {4, 5, "text key 2"}})}},
  // Files reached only by database number.
  {nullptr,               "TRACELAT_DB",         "TRACELAT.BTR",         2000, PrimeKeyRule::kStrings, false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "sub-key"}, {32, 3, "trace code"}})}},
  {nullptr,               "TRACEPA_DB",          "TRACEPA.BTR",          2000, PrimeKeyRule::kStrings, false, 1,
     {KeyOf({kPatientKeyField, {21, 11, "sub-key"}, {32, 3, "trace code"}})}},
  {nullptr,               "MOEX2_DB",            "MOEX2.BTR",            2000, PrimeKeyRule::kStrings, false, 1, {PatientKeyAnd("sub-key")}},
};
// clang-format on

inline constexpr int kRecordFileCount =
    static_cast<int>(sizeof(kRecordFiles) / sizeof(kRecordFiles[0]));  // rows of the table

// The row of file f.
constexpr const RecordFileRow& RecordFileOf(RecordFile f) { return kRecordFiles[static_cast<int>(f)]; }

// A field beyond the keys that the library reads or writes.
struct RecordField {
  RecordFile file;   // the file whose records hold it
  uint16_t offset;   // offset in the record
  uint8_t width;     // bytes
  const char* name;  // what it holds, as the utility shows it
};

// The patient's exclusion flag: 1 makes the name and kana look-ups pass the
// patient over.
inline constexpr RecordField kPatientExclusionFlag = {RecordFile::kPatient, 156, 1, "exclusion flag"};
// The point-lat record's layout mark: '1' for the current layout, anything
// else for the older one.
inline constexpr RecordField kPointLatLayoutMark = {RecordFile::kPointLat, 55, 1, "layout"};

// The row whose file name is fileName (exact bytes), or nullptr.
RECLINK_EXPORT const RecordFileRow* FindRecordFile(const char* fileName);

static_assert(kRecordFileCount == static_cast<int>(RecordFile::kMoex2) + 1,
              "every row has its name");

}  // namespace reclink
