#pragma once
// Offsets and widths of the record fields that the patients command and the
// demonstration fill in and print. Every text field holds at most its width
// minus one bytes of code page 932 and a terminating zero.

namespace reclink::cli::clinic {

// Patient record (PATIENT1.BTR).
constexpr int kPatientNumber = 0;     // ten digits, written by InsertPatientData
constexpr int kPatientName = 21;      // key 1
constexpr int kPatientKana = 62;      // key 2, the reading of the name
constexpr int kPatientId = 103;       // key 3
constexpr int kPatientExcluded = 156; // 1 = passed over by the name look-ups
constexpr int kNameWidth = 41;
constexpr int kIdWidth = 21;

// Fields that open every per-patient record.
constexpr int kPatientKey = 0;        // the patient number, 21 bytes
constexpr int kPatientKeyWidth = 21;
constexpr int kNumber = 21;           // photo, set, report, slide-show number or sub-key, 11 bytes
constexpr int kNumberWidth = 11;

// Photo record (PHOTO.BTR).
constexpr int kPhotoGroup1 = 32;      // 9 bytes
constexpr int kPhotoGroup2 = 41;      // 3 bytes
constexpr int kPhotoSortNumber = 65;  // 11 bytes

// Photo-set items (TZPHOTOEXIMG.BTR, TZPHOTOEXTEXT.BTR).
constexpr int kItemNumber = 32;       // 6 bytes
constexpr int kItemBody = 38;         // where the application's own bytes begin

// Surgery (SURGERY.BTR) and its treatment items (SURGERYTREATMENT.BTR).
constexpr int kSurgeryField2 = 21;    // 11 bytes
constexpr int kSurgeryField3 = 32;    // 11 bytes
constexpr int kTreatmentItem = 43;    // 5 bytes

// Point-lat record (POINTLAT.BTR): the layout mark and what the upgrade moves.
constexpr int kLayoutMark = 55;       // '1' = current layout
constexpr int kOlderPairTable = 64;   // 50 pairs of 4-byte values in the older layout
constexpr int kOlderMeasure = 464;    // a double in the older layout
constexpr int kCurrentMeasure = 504;  // the same double in the current layout

}  // namespace reclink::cli::clinic
