// The extended operations' descriptor (36-39): read from the data buffer and
// checked once per call, then applied to every record the scan meets: the
// filter (terms compared through the key encoding, so that every type
// orders as it does in a key), the limit a key path puts on the filter, and
// the extractor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recman/format/file_layout.h"

namespace recman {

// One term: a field of the record compared with a constant or a second field.
struct FilterTerm {
  Segment field;          // the field as a one-segment key: its encoding orders its values
  uint8_t comparison;     // B_EXT_EQUAL .. B_EXT_LESS_EQ
  bool againstField;      // compared with the field at otherOffset, not with constant
  uint16_t otherOffset;   // the second field's offset (againstField)
  std::string constant;   // the constant, encoded (not againstField)
  uint8_t connector;      // B_EXT_LAST_TERM, B_EXT_AND or B_EXT_OR
};

// One field the extractor returns of each record.
struct ExtractedField {
  uint16_t offset;  // 0-based offset in the record
  uint16_t length;  // bytes
};

// A descriptor, read and checked.
struct Descriptor {
  bool withCurrent = false;          // "UC": the current record is examined first
  uint16_t rejectLimit = 0;          // rejected records that end the call with 60 (0: no limit)
  std::vector<FilterTerm> terms;     // empty: every record qualifies
  uint16_t records = 0;              // records to return
  std::vector<ExtractedField> fields;  // what to return of each
  uint32_t shortestRecord = 0;       // the shortest record in which every field begins
  int limitTerm = -1;                // the term whose failure ends a walk along the key (64), or -1
  bool limitAscending = true;        // the walk meets the limit term's values in ascending order
};

// Reads the descriptor in data (length bytes) for a file of layout. Returns 0
// and *out; 62 when it is not a descriptor this engine can apply (a length
// word other than the descriptor's length, identifier, a field outside the
// record, an unknown type, comparison or connector, a collating sequence
// the file lacks, no records or no fields asked); 65 when an extracted
// field begins at or past the end of a fixed-length record.
int ReadDescriptor(const uint8_t* data, uint32_t length, const FileLayout& layout, Descriptor* out);

// Makes the filter's first term the limit of a walk along key (forward or
// back) when it bounds the rest of the walk: compared with a constant by
// equality, or by the inequality that fails for good once the walk is
// past the constant, on the field of the key's first segment, and not
// joined to the next term by OR.
void FindLimit(const KeyDef& key, bool forward, Descriptor* d);

// Evaluates d's filter on the record (length bytes), strictly left to right:
// a true term followed by OR, or a false one followed by AND, decides. A
// field beyond the record's end is false. a and b are scratch space.
bool Matches(const Descriptor& d, const uint8_t* record, uint32_t length, std::string* a, std::string* b);

// Whether a record the filter rejected ends the walk (64): its value of the
// limit term is past every value the term accepts.
bool PastLimit(const Descriptor& d, const uint8_t* record, uint32_t length, std::string* scratch);

// The extracted bytes of the record, which is at least d.shortestRecord
// long: the fields in order, up to the record's end (a field cut short by
// it is the last). Writes them to out (room for every field) and returns
// their number.
uint32_t Extract(const Descriptor& d, const uint8_t* record, uint32_t length, uint8_t* out);

// The bytes every field together asks.
uint32_t ExtractedLength(const Descriptor& d);

}  // namespace recman
