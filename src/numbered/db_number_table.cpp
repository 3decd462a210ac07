#include "numbered/db_number_table.h"

#include <algorithm>
#include <cstring>

#include "core/point_lat.h"

namespace reclink::numbered {

namespace {

using enum RecordFile;
using enum WorkKey;

constexpr const RecordFileRow* File(RecordFile f) { return &RecordFileOf(f); }

// Number 10 has no file: its records are 80 bytes, keyed like a per-patient record.
constexpr unsigned int kPathOnlyRecordLength = 80;
constexpr KeyLayout kPathOnlyKey = PatientKeyAnd(nullptr);

}  // namespace

const DbNumberEntry kDbNumbers[kDbNumberCount] = {
    {10, nullptr, 1, kTexts},
    {110, File(kPatient), 0, kBytes},
    {120, File(kPhoto), 2, kTexts},
    {130, File(kImageType), 3, kTexts},
    {140, File(kPointLat), 4, kTexts},
    {150, File(kCondition), 5, kTexts},
    {160, File(kPointPA), 6, kTexts},
    {170, File(kSPPoint), 7, kTexts},
    {180, File(kPointMO), 9, kTexts},
    {190, File(kDoctor), 10, kTexts},
    {200, File(kCaseTbl), 11, kTexts},
    {210, File(kCaseInfo), 12, kTexts},
    {220, File(kPatientCaseInfo), 13, kTexts},
    {230, File(kCaseSearchIndex), 14, kTexts},
    {240, File(kCaseSearchInfo), 15, kTexts},
    {250, File(kChevron), 16, kTexts},
    {260, File(kSPPointPA), 8, kTexts},
    {270, File(kLas), 17, kTexts},
    {280, File(kPileLat), 18, kTexts},
    {290, File(kMvto), 19, kTexts},
    {300, File(kMoex), 20, kTexts},
    {310, File(kBody), 21, kTexts},
    {320, File(kPilePA), 22, kTexts},
    {330, File(kPhotoEX), 23, kTexts},
    {340, File(kAddLat), 24, kTexts},
    {350, File(kCvba), 25, kTexts},
    {360, File(kCasmas), 26, kTexts},
    {450, File(kDigi), 27, kTexts},
    {460, File(kPhoto2), 28, kTexts},
    {470, File(kTraceLat), 29, kTexts},
    {480, File(kTracePA), 30, kTexts},
    {490, File(kMoex2), 31, kTexts},
};

unsigned int DbNumberEntry::RecordLength() const {
  return file != nullptr ? file->recordLength : kPathOnlyRecordLength;
}

const KeyLayout& DbNumberEntry::Key0() const {
  return file != nullptr ? file->keys[0] : kPathOnlyKey;
}

const DbNumberEntry* FindDbNumber(int dbno) {
  for (const DbNumberEntry& entry : kDbNumbers) {
    if (entry.dbno == dbno) return &entry;
  }
  return nullptr;
}

void PrepareWorkCopy(const DbNumberEntry& entry, const void* record, char* copy, char* key,
                     size_t keyCapacity) {
  const size_t copyLength = entry.RecordLength();
  std::memcpy(copy, record, copyLength);
  if (entry.IsPointLat()) MarkPointLatCurrent(copy);

  const KeyLayout& key0 = entry.Key0();
  std::memset(key, 0, keyCapacity);
  const size_t keyLength = std::min(static_cast<size_t>(key0.Length()), keyCapacity);
  if (entry.workKey == kBytes) {
    std::memcpy(key, copy, std::min(keyLength, copyLength));
    return;
  }
  for (int i = 0; i < key0.segmentCount; ++i) {
    const size_t from = key0.segments[i].offset;           // in the record
    const size_t to = static_cast<size_t>(key0.ImageOffset(i));  // in the key
    if (to >= keyLength || from >= copyLength) continue;
    // The text with its zero, cut where the key or the record ends.
    const size_t room = keyLength - to;
    const size_t bytes = std::min(strnlen(copy + from, copyLength - from), room);
    std::memcpy(key + to, copy + from, bytes);
    if (bytes < room) key[to + bytes] = '\0';
  }
}

}  // namespace reclink::numbered
