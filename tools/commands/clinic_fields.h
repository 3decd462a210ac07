#pragma once
// Offsets and widths of the record fields that the patients command and the
// demonstration fill in and print, read from the record-file table. Every
// text field holds at most its width minus one bytes of code page 932 and a
// terminating zero.

#include "reclink/records/catalogue.h"

namespace reclink::cli::clinic {

// Segment s of key k of file f.
constexpr const KeySegment& Field(RecordFile f, int k, int s) {
  return RecordFileOf(f).keys[k].segments[s];
}

// Patient record (PATIENT1.BTR).
constexpr int kPatientNumber = Field(RecordFile::kPatient, 0, 0).offset;  // written by InsertPatientData
constexpr int kPatientName = Field(RecordFile::kPatient, 1, 0).offset;    // key 1
constexpr int kPatientKana = Field(RecordFile::kPatient, 2, 0).offset;    // key 2, the reading of the name
constexpr int kPatientId = Field(RecordFile::kPatient, 3, 0).offset;      // key 3
constexpr int kPatientExcluded = kPatientExclusionFlag.offset;  // 1 = passed over by the name look-ups
constexpr int kNameWidth = Field(RecordFile::kPatient, 1, 0).width;
constexpr int kIdWidth = Field(RecordFile::kPatient, 3, 0).width;
static_assert(kNameWidth == Field(RecordFile::kPatient, 2, 0).width, "one width for both names");

// Fields that open every per-patient record.
constexpr int kPatientKey = kPatientKeyField.offset;
constexpr int kPatientKeyWidth = kPatientKeyField.width;
// Photo, set, report, slide-show number or sub-key.
constexpr int kNumber = Field(RecordFile::kPhoto, 0, 1).offset;
constexpr int kNumberWidth = Field(RecordFile::kPhoto, 0, 1).width;

// Photo record (PHOTO.BTR): key 2 groups a patient's photos.
constexpr int kPhotoGroup1 = Field(RecordFile::kPhoto, 2, 1).offset;
constexpr int kPhotoGroup2 = Field(RecordFile::kPhoto, 2, 2).offset;
constexpr int kPhotoSortNumber = Field(RecordFile::kPhoto, 2, 3).offset;

// Photo-set items (TZPHOTOEXIMG.BTR, TZPHOTOEXTEXT.BTR).
constexpr int kItemNumber = Field(RecordFile::kTZPhotoEXImg, 0, 2).offset;
// Where the application's own bytes begin: behind key 0.
constexpr int kItemBody = RecordFileOf(RecordFile::kTZPhotoEXImg).PrimeKeyLength();

// Surgery (SURGERY.BTR) and its treatment items (SURGERYTREATMENT.BTR).
constexpr int kSurgeryField2 = Field(RecordFile::kSurgeryTreatment, 0, 1).offset;
constexpr int kSurgeryField3 = Field(RecordFile::kSurgeryTreatment, 0, 2).offset;
constexpr int kTreatmentItem = Field(RecordFile::kSurgeryTreatment, 0, 3).offset;

// Point-lat record (POINTLAT.BTR): the layout mark and what the upgrade moves.
constexpr int kLayoutMark = kPointLatLayoutMark.offset;  // '1' = current layout
constexpr int kOlderPairTable = 64;   // 50 pairs of 4-byte values in the older layout
constexpr int kOlderMeasure = 464;    // a double in the older layout
constexpr int kCurrentMeasure = 504;  // the same double in the current layout

}  // namespace reclink::cli::clinic
