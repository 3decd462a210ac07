// Photo sets: numbering, enumerating the items of a set into the caller's
// array, and deleting the items of a set.

#include <cstring>

#include "platform/bitmap_handle.h"
#include "reclink/records/photo_set.h"
#include "records/group_walk.h"
#include "records/numbering.h"

using reclink::ImageListEntry;
using reclink::TextListEntry;

namespace {

constexpr int kSetFields = 2;  // patient key and set number lead key 0 of both item files

// Releases every entry of array, and the bitmap of every image entry, then
// empties it. Null elements are skipped.
void ReleaseImageEntries(CPtrArray& array) {
  int size = array.GetSize();
  for (int i = 0; i < size; ++i) {
    auto* entry = static_cast<ImageListEntry*>(array.GetAt(i));
    if (entry == nullptr) continue;
    if (entry->bitmap != nullptr) {
      reclink::platform::ReleaseBitmapHandle(entry->bitmap);
      entry->bitmap = nullptr;
    }
    delete entry;
  }
  array.SetSize(0, -1);
}

void ReleaseTextEntries(CPtrArray& array) {
  int size = array.GetSize();
  for (int i = 0; i < size; ++i) delete static_cast<TextListEntry*>(array.GetAt(i));
  array.SetSize(0, -1);
}

// Deletes every record of the set; 0 when there was none, else the status of the last delete.
int DeleteSetItems(CBaseRecLink& object, const reclink::RecordFileRow& row, const char* record,
                   const char* patientKey, const char* setNumber) {
  int result = 0;
  const char* const values[kSetFields] = {patientKey, setNumber};
  reclink::records::WalkGroup(object, record, row.keys[0], values, kSetFields, [&] {
    result = object.Delete();  // a failed delete does not end the walk
    return true;
  });
  return result;
}

// Appends to array one new Entry per record of the set, in item order, each
// a copy of the record (and, for an image, a null bitmap); the count.
template <class Entry>
int AppendSetItems(CBaseRecLink& object, const reclink::RecordFileRow& row, const char* record,
                   const char* patientKey, const char* setNumber, CPtrArray& array) {
  int count = 0;
  const char* const values[kSetFields] = {patientKey, setNumber};
  reclink::records::WalkGroup(object, record, row.keys[0], values, kSetFields, [&] {
    auto* entry = new Entry{};
    std::memcpy(entry->record, record, sizeof entry->record);
    array.SetAtGrow(array.GetSize(), entry);
    ++count;
    return true;
  });
  return count;
}

}  // namespace

unsigned long CTZPhotoEXDB::GetLastPhotoEXNo(char const* patientKey) {
  return static_cast<unsigned long>(
      NextNumber(reclink::records::LastNumberOfPatient(*this, kRow, m_record, patientKey))
          .value_or(0));
}

int CTZPhotoEXImgDB::EnumImages(char const* patientKey, char const* setNumber, CPtrArray* array) {
  if (array == nullptr) return -1;
  ReleaseImageEntries(*array);
  return AppendSetItems<ImageListEntry>(*this, kRow, m_record, patientKey, setNumber, *array);
}

int CTZPhotoEXImgDB::DeleteAllItemOf(char const* patientKey, char const* setNumber) {
  return DeleteSetItems(*this, kRow, m_record, patientKey, setNumber);
}

int CTZPhotoEXTextDB::EnumText(char const* patientKey, char const* setNumber, CPtrArray* array) {
  if (array == nullptr) return -1;
  ReleaseTextEntries(*array);
  return AppendSetItems<TextListEntry>(*this, kRow, m_record, patientKey, setNumber, *array);
}

int CTZPhotoEXTextDB::DeleteAllItemOf(char const* patientKey, char const* setNumber) {
  return DeleteSetItems(*this, kRow, m_record, patientKey, setNumber);
}
