// Finding a patient by name or kana reading: the first patient at or after
// the name in key order that is not excluded must carry exactly that name.

#include <cstring>

#include "reclink/records/patient.h"
#include "records/fields.h"
#include "records/record_ops.h"

namespace {
constexpr int kNameKey = 1;            // key of the patient name
constexpr int kNameOffset = 21;        // the patient name field
constexpr int kKanaKey = 2;            // key of the kana name
constexpr int kKanaOffset = 62;        // the kana name field
constexpr int kNameWidth = 41;         // width of both name fields
constexpr int kExclusionOffset = 156;  // 1 = passed over by these look-ups
}  // namespace

int CPatientDB::GetPatientDataByName(char const* name) { return FindByName(kNameKey, kNameOffset, name); }

int CPatientDB::GetPatientDataByKana(char const* kana) { return FindByName(kKanaKey, kKanaOffset, kana); }

// The scan stops at the first record that is not excluded, so after a 0 the
// record buffer holds the patient found.
int CPatientDB::FindByName(int keyNumber, int fieldOffset, char const* name) {
  std::memset(m_record, 0, sizeof m_record);
  char image[kNameWidth];
  reclink::records::BuildKeyImage(kRow.keys[keyNumber], image, &name, 1);
  SetKey(keyNumber);
  SetKeyBuffer(image, sizeof image);
  if (GetGREQ() != 0) return -1;
  while (!IsEOF()) {
    if (m_record[kExclusionOffset] != 1)
      return reclink::records::CompareField(m_record + fieldOffset, kNameWidth, name) == 0 ? 0 : -1;
    if (GetNEXT() != 0) break;
  }
  return -1;
}
