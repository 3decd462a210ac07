// Creating record files: a Create call of the record manager per file, with
// the file and key specifications built from the record-file table.

#include "reclink/database.h"

#include <cstring>
#include <string>

#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/records/catalogue.h"

namespace reclink {

namespace {

constexpr uint16_t kPageSize = 4096;  // holds the longest record of the table
constexpr int kMaxSegments = 16;      // more than any file of the table has

// The Create buffer: the file specification, then one key specification per segment.
#pragma pack(push, 1)
struct CreateBuffer {
  BtrFileSpec file;                  // record length, page size, number of keys
  BtrKeySpec segments[kMaxSegments]; // segments of key 0, then key 1, ...
};
#pragma pack(pop)

// Fills buffer for row; returns the bytes used.
uint32_t BuildCreateBuffer(const RecordFileRow& row, CreateBuffer& buffer) {
  std::memset(&buffer, 0, sizeof buffer);
  buffer.file.recordLength = row.recordLength;
  buffer.file.pageSize = kPageSize;
  buffer.file.numberOfKeys = row.keyCount;
  int n = 0;
  for (int k = 0; k < row.keyCount; ++k) {
    const KeyLayout& key = row.keys[k];
    for (int s = 0; s < key.segmentCount; ++s, ++n) {
      BtrKeySpec& spec = buffer.segments[n];
      spec.position = static_cast<uint16_t>(key.segments[s].offset + 1);
      spec.length = key.segments[s].width;
      spec.flags = B_KEY_EXTENDED_TYPE | B_KEY_MODIFIABLE;
      if (key.duplicates) spec.flags |= B_KEY_DUPLICATES;
      if (s + 1 < key.segmentCount) spec.flags |= B_KEY_SEGMENTED;
      spec.extendedType = B_TYPE_ZSTRING;
    }
  }
  return static_cast<uint32_t>(sizeof(BtrFileSpec) + n * sizeof(BtrKeySpec));
}

int CreateFromRow(const char* dir, const RecordFileRow& row) {
  std::string path = dir == nullptr ? "" : dir;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += row.fileName;
  std::string native = platform::NativePath(path.c_str());
  char key[B_MAX_KEY_LENGTH] = {};
  if (native.size() >= sizeof key) return B_FILENAME_BAD;
  std::memcpy(key, native.c_str(), native.size());

  CreateBuffer buffer;
  uint32_t length = BuildCreateBuffer(row, buffer);
  char block[B_POSITION_BLOCK_SIZE] = {};
  // Key number -1: an existing file is refused, never replaced.
  return platform::CallBtrieve(B_CREATE, block, &buffer, &length, key, B_MAX_KEY_LENGTH, -1);
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
