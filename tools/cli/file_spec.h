#pragma once
// A record file's specification as Create takes it and Stat returns it, in a
// form the utility can check, print and rebuild: the file, its keys, and each
// key's segments.

#include <cstdint>
#include <string>
#include <vector>

namespace reclink::cli {

// One key segment.
struct SegmentSpec {
  uint16_t position = 0;      // 1-based offset of the segment in the record
  uint16_t length = 0;        // bytes
  uint16_t flags = 0;         // B_KEY_* as stored, without B_KEY_SEGMENTED
  uint8_t type = 0;           // B_TYPE_*
  uint8_t nullValue = 0;      // byte that marks a null segment
  uint32_t uniqueValues = 0;  // Stat only: distinct values of the key
  uint8_t acsNumber = 0;      // alternate collating sequence number
  uint8_t manualKeyNumber = 0;  // key number asked for, manual keys
};

// One key: its segments in order.
struct KeySpec {
  std::vector<SegmentSpec> segments;  // at least one
  int Length() const;                 // total bytes of the key
};

// One record file.
struct FileSpec {
  uint16_t recordLength = 0;       // bytes of every record
  uint16_t pageSize = 0;           // 512..4096
  uint16_t fileFlags = 0;          // file flags as created
  uint8_t duplicatePointers = 0;   // reserved duplicate pointers
  uint16_t allocation = 0;         // Create: pages to preallocate; Stat: unused pages
  uint8_t fileVersion = 0;         // Stat: the file format version, 0 when unknown
  uint32_t records = 0;            // Stat: records stored
  std::vector<KeySpec> keys;       // in key number order
  std::string collations;          // the collating sequences after the keys, as Stat gives and Create takes them

  int SegmentCount() const;
};

// The name of a key type as the utility writes and reads it ("zstring"), or
// nullptr for a type it does not know.
const char* KeyTypeName(uint8_t type);
// The type of name (case-insensitive); false for a name it does not know.
bool KeyTypeFromName(const std::string& name, uint8_t* type);

// The Create buffer of spec: file specification then 16 bytes per segment,
// little-endian, then the collating sequences; counts and unique values as
// zero.
std::string EncodeCreateBuffer(const FileSpec& spec);
// Reads a Stat buffer of size bytes into *spec. False with a reason in *error
// when the buffer is shorter than its own counts say.
bool DecodeStatBuffer(const void* buffer, size_t size, FileSpec* spec, std::string* error);

}  // namespace reclink::cli
