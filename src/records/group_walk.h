#pragma once
// Walking the group of records whose leading key-0 fields equal given values:
// the items of a photo set, the photos of a patient, the treatment items of a
// surgery. Used by the enumerations and the cascading deletes.

#include "reclink/base_rec_link.h"
#include "reclink/records/catalogue.h"
#include "records/record_ops.h"

namespace reclink::records {

// Positions with GetGREQ on key 0 at the first record at or after the group
// (a key image of the count values, the rest empty), then calls visit() for
// each record, in key order, while the record's first count key-0 fields
// equal the values and the EOF flag is clear. visit returns false to stop;
// otherwise the walk goes on with GetNEXT and stops at its first failure.
// A Delete inside visit is fine: GetNEXT then reads the record that followed.
template <class Visit>
void WalkGroup(CBaseRecLink& object, const char* record, const KeyLayout& key,
               const char* const* values, int count, Visit visit) {
  SelectKey(object, 0, key, values, count);
  if (object.GetGREQ() != 0) return;
  while (!object.IsEOF()) {
    if (!FieldsEqual(record, key, values, count) || !visit()) return;
    if (object.GetNEXT() != 0) return;
  }
}

}  // namespace reclink::records
