// Creating record files: a Create call of the record manager per file, with
// the file and key specifications built from the record-file table.

#include "reclink/database.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/file_spec.h"
#include "reclink/records/catalogue.h"

namespace reclink {

namespace {

constexpr uint16_t kPageSize = 4096;  // holds the longest record of the table

// The file layout Create takes for row: zstring keys, all modifiable.
recman::FileSpec SpecOf(const RecordFileRow& row) {
  recman::FileSpec spec;
  spec.recordLength = row.recordLength;
  spec.pageSize = kPageSize;
  for (int k = 0; k < row.keyCount; ++k) {
    const KeyLayout& key = row.keys[k];
    recman::KeySpec& out = spec.keys.emplace_back();
    for (int s = 0; s < key.segmentCount; ++s) {
      recman::SegmentSpec& segment = out.segments.emplace_back();
      segment.position = static_cast<uint16_t>(key.segments[s].offset + 1);
      segment.length = key.segments[s].width;
      segment.flags = B_KEY_EXTENDED_TYPE | B_KEY_MODIFIABLE;
      if (key.duplicates) segment.flags |= B_KEY_DUPLICATES;
      segment.type = B_TYPE_ZSTRING;
    }
  }
  return spec;
}

int CreateFromRow(const char* dir, const RecordFileRow& row) {
  std::string path = dir == nullptr ? "" : dir;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += row.fileName;
  std::string native = platform::NativePath(path.c_str());
  char key[B_MAX_KEY_LENGTH] = {};
  if (native.size() >= sizeof key) return B_FILENAME_BAD;
  std::memcpy(key, native.c_str(), native.size());

  std::vector<uint8_t> buffer = recman::EncodeFileSpec(SpecOf(row));
  uint32_t length = static_cast<uint32_t>(buffer.size());
  char block[B_POSITION_BLOCK_SIZE] = {};
  // Key number -1: an existing file is refused, never replaced.
  return platform::CallBtrieve(B_CREATE, block, buffer.data(), &length, key, B_MAX_KEY_LENGTH, -1);
}

}  // namespace

int CreateRecordFile(const char* dir, const char* fileName) {
  const RecordFileRow* row = FindRecordFile(fileName);
  if (row == nullptr) return B_FILENAME_BAD;
  return CreateFromRow(dir, *row);
}

int CreateDatabase(const char* dir) {
  int first = B_NO_ERROR;
  for (const RecordFileRow& row : kRecordFiles) {
    int status = CreateFromRow(dir, row);
    if (status != B_NO_ERROR && first == B_NO_ERROR) first = status;
  }
  return first;
}

}  // namespace reclink
