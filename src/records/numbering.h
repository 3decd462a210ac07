#pragma once
// Numbers that the record classes hand out: patient, photo, sort, report,
// slide-show and photo-set numbers, stored as ten digits with leading zeros
// so that key order is numeric order. One rule for all of them: the next
// number is the highest stored one plus 1, and when that would pass
// kLargestNumber there is none; the caller is refused, never given a number
// that is in use.

#include <optional>

#include "reclink/base_rec_link.h"
#include "reclink/records/catalogue.h"

namespace reclink::records {

// Sorts after every ten-digit number: the upper bound of the searches for
// the highest number.
inline constexpr const char* kNumberBound = "9999999999";

// The largest number handed out: it fits the ten-digit fields and a 32-bit
// long alike.
inline constexpr long kLargestNumber = 2147483647;

// How an allocator refuses when no number follows the last: status 5 in the
// box of the insert the number was for.
inline constexpr int kNoNumberStatus = 5;
inline constexpr const char* kNoNumberLabel = "BO_INSERT";

// last + 1, or nothing when last is kLargestNumber or more: no number follows it.
constexpr std::optional<long> NumberAfter(long last) {
  if (last >= kLargestNumber) return std::nullopt;
  return last + 1;
}

// The patient's highest number in a file whose key 0 is the patient key
// followed by a ten-digit number: read with GetLEEQ on key 0 of row into
// record (row.recordLength bytes, zeroed first). 0 when the patient has none
// or the read fails. Reserves nothing.
long LastNumberOfPatient(CBaseRecLink& object, const RecordFileRow& row, char* record,
                         const char* patientKey);

}  // namespace reclink::records
