// Finding a patient by name or kana reading: the first patient at or after
// the name in key order that is not excluded must carry exactly that name.

#include <cstring>

#include "reclink/records/patient.h"
#include "records/fields.h"
#include "records/record_ops.h"

namespace {
constexpr int kNameKey = 1;  // key of the patient name
constexpr int kKanaKey = 2;  // key of the kana name
constexpr int kExclusionOffset = reclink::kPatientExclusionFlag.offset;
}  // namespace

int CPatientDB::GetPatientDataByName(char const* name) { return FindByName(kNameKey, name); }

int CPatientDB::GetPatientDataByKana(char const* kana) { return FindByName(kKanaKey, kana); }

// The scan stops at the first record that is not excluded, so after a 0 the
// record buffer holds the patient found.
int CPatientDB::FindByName(int keyNumber, char const* name) {
  const reclink::KeyLayout& key = kRow.keys[keyNumber];
  const reclink::KeySegment& field = key.segments[0];
  std::memset(m_record, 0, sizeof m_record);
  reclink::records::SelectKey(*this, keyNumber, key, &name, 1);
  if (GetGREQ() != 0) return -1;
  while (!IsEOF()) {
    if (m_record[kExclusionOffset] != 1)
      return reclink::records::CompareField(m_record + field.offset, field.width, name) == 0 ? 0
                                                                                          : -1;
    if (GetNEXT() != 0) break;
  }
  return -1;
}
