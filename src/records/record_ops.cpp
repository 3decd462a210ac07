#include "records/record_ops.h"

#include <cstring>

#include "platform/winapi.h"
#include "records/fields.h"
#include "reclink/tools.h"
#include "reclink/win_app.h"

namespace reclink::records {

namespace {
constexpr DWORD kProfileValueSize = 1024;  // longest directory read from a profile file
}  // namespace

CString ProfileDirectory() {
  if (CWinApp* app = AfxGetApp()) return app->GetProfileString("DB_DIR", "DATABASE", "");
  char value[kProfileValueSize] = {};
  CString profile = CTools::GetIniFileName();
  GetPrivateProfileStringA("DB_DIR", "DATABASE", "", value, kProfileValueSize, profile);
  return CString(value);
}

CString ComposeFilePath(const char* directory, bool complete, const char* fileName) {
  CString dir(directory);
  // The last byte, not the last character: a double-byte character whose
  // second byte is a backslash still counts as ending in one.
  if (complete && (dir.IsEmpty() || dir.GetAt(dir.GetLength() - 1) != '\\')) dir += "\\";
  CString path;
  path.Format("%s%s", dir.GetString(), fileName);
  return path;
}

void SelectKey(CBaseRecLink& object, int keyNumber, const KeyLayout& key,
               const char* const* values, int count) {
  char image[CBaseRecLink::kKeyBufferSize] = {};
  for (int i = 0; i < key.segmentCount && i < count; ++i)
    CopyToField(image + key.ImageOffset(i), key.segments[i].width, values[i]);
  object.SetKey(keyNumber);
  object.SetKeyBuffer(image, static_cast<unsigned long>(key.Length()));
}

bool FieldsEqual(const char* record, const KeyLayout& key, const char* const* values, int count) {
  for (int i = 0; i < count; ++i) {
    const KeySegment& s = key.segments[i];
    if (CompareField(record + s.offset, s.width, values[i]) != 0) return false;
  }
  return true;
}

void BuildPrimeKey(const RecordFileRow& row, const char* record, char* primeKey) {
  const KeyLayout& key = row.keys[0];
  switch (row.primeKeyRule) {
    case PrimeKeyRule::kCopy:
      std::memcpy(primeKey, record, row.PrimeKeyLength());
      return;
    case PrimeKeyRule::kStrings:
      std::memset(primeKey, 0, row.PrimeKeyLength());
      break;
    case PrimeKeyRule::kStringsNotCleared:
      break;
  }
  for (int i = 0; i < key.segmentCount; ++i) {
    const KeySegment& s = key.segments[i];
    size_t length = strnlen(record + s.offset, static_cast<size_t>(s.width - 1));
    std::memcpy(primeKey + s.offset, record + s.offset, length);
    primeKey[s.offset + length] = '\0';
  }
}

int LookUpRecord(CBaseRecLink& object, const RecordFileRow& row, char* record, int keyNumber,
                 const char* const* values, int count) {
  std::memset(record, 0, row.recordLength);
  SelectKey(object, keyNumber, row.keys[keyNumber], values, count);
  return object.GetEQ();
}

}  // namespace reclink::records
