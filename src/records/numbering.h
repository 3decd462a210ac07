#pragma once
// The next number of a patient in a file whose key 0 is the patient key
// (0, 21) followed by a ten-digit number (21, 11): photos, reports, slide
// shows and photo sets share this one routine.

#include "reclink/base_rec_link.h"
#include "reclink/records/catalogue.h"

namespace reclink::records {

// Reads, with GetLEEQ on key 0 of row, the patient's record with the highest
// number into record (row.recordLength bytes, zeroed first) and returns that
// number + 1; 1 when the patient has none or the read fails. Reserves nothing.
long NextNumberOfPatient(CBaseRecLink& object, const RecordFileRow& row, char* record,
                         const char* patientKey);

}  // namespace reclink::records
