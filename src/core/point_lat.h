#pragma once
// The point-lat record upgrade shared by the record objects and the numbered
// interface: converts one point-lat record from the older layout to the
// current one in place. A record whose layout mark is '1' is left untouched.

#include "reclink/records/catalogue.h"

namespace reclink {

// Bytes of a point-lat record, in both layouts.
inline constexpr int kPointLatRecordLength = RecordFileOf(RecordFile::kPointLat).recordLength;
// Where the layout mark lies, and the mark of the current layout.
inline constexpr int kPointLatMarkOffset = kPointLatLayoutMark.offset;
inline constexpr char kPointLatCurrent = '1';
// The ident by which the gate recognises a point-lat record object.
inline constexpr const char* kPointLatIdent = RecordFileOf(RecordFile::kPointLat).ident;

// Marks record (at least kPointLatRecordLength bytes) as being in the current layout.
inline void MarkPointLatCurrent(char* record) { record[kPointLatMarkOffset] = kPointLatCurrent; }

// record: a writable buffer of at least kPointLatRecordLength bytes. Cannot
// fail; allocates nothing.
void PointLatConv(void* record);

}  // namespace reclink
