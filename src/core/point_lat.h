#pragma once
// The point-lat record upgrade shared by the record objects and the numbered
// interface: converts one 3000-byte record from the older layout to the current
// one in place. A record whose byte 55 is '1' is left untouched.

namespace reclink {

constexpr int kPointLatRecordLength = 3000;  // bytes of a point-lat record
constexpr int kPointLatMarkOffset = 55;      // the layout mark: '1' = current layout

// record: a writable buffer of at least 3000 bytes. Cannot fail; allocates nothing.
void PointLatConv(void* record);

}  // namespace reclink
