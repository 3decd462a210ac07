// A record file's specification as Create takes it and Stat returns it, in
// fields rather than bytes: the file, its keys, each key's segments, and the
// alternate collating sequences after them. EncodeFileSpec builds the buffer,
// DecodeFileSpec reads one; every program that builds or reads such a buffer
// goes through them, so the layout is written down once, here.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reclink/btrieve.h"

namespace recman {

// One key segment.
struct SegmentSpec {
  uint16_t position = 0;        // 1-based offset of the segment in the record
  uint16_t length = 0;          // bytes
  uint16_t flags = 0;           // B_KEY_* as stored, without B_KEY_SEGMENTED
  uint8_t type = 0;             // B_TYPE_* the segment is ordered as (without an extended type: TypeOfFlags)
  uint8_t nullValue = 0;        // byte that marks a null segment
  uint32_t uniqueValues = 0;    // Stat: distinct values of the key
  uint8_t acsNumber = 0;        // alternate collating sequence number (0 the first)
  uint8_t manualKeyNumber = 0;  // key number asked for, manual keys

  bool operator==(const SegmentSpec&) const = default;
};

// One key: its segments in order (at least one).
struct KeySpec {
  std::vector<SegmentSpec> segments;

  // Total bytes of the key.
  int Length() const {
    int total = 0;
    for (const SegmentSpec& s : segments) total += s.length;
    return total;
  }
  bool operator==(const KeySpec&) const = default;
};

// One record file.
struct FileSpec {
  uint16_t recordLength = 0;      // bytes of every record
  uint16_t pageSize = 0;          // 512..4096, a multiple of 512
  uint16_t fileFlags = 0;         // B_FILE_* as created
  uint8_t duplicatePointers = 0;  // reserved duplicate pointers
  uint16_t allocation = 0;        // Create: pages to preallocate; Stat: unused pages
  uint8_t fileVersion = 0;        // Stat: the file format version, 0 when unknown
  uint32_t records = 0;           // Stat: records stored
  std::vector<KeySpec> keys;      // in key number order; none for a data-only file
  std::string collations;         // the bytes after the key specifications: the
                                  // collating sequences (BtrAltCollation each)

  // Key specifications in the buffer: the segments of all keys.
  int SegmentCount() const {
    int total = 0;
    for (const KeySpec& k : keys) total += static_cast<int>(k.segments.size());
    return total;
  }
  bool operator==(const FileSpec&) const = default;
};

// The type a segment with only these flags, and no extended type, is ordered
// as: unsigned binary with B_KEY_BINARY, otherwise string.
inline uint8_t TypeOfFlags(uint16_t flags) {
  return static_cast<uint8_t>((flags & B_KEY_BINARY) ? B_TYPE_UNSIGNED_BINARY : B_TYPE_STRING);
}

// The Create buffer of spec: the file specification, 16 bytes for every
// segment (B_KEY_SEGMENTED on all but a key's last), then spec.collations.
// The key count is spec.keys.size(). A segment whose type its flags alone do
// not give (TypeOfFlags) is written with B_KEY_EXTENDED_TYPE and its type;
// other fields are written as given, so decoding then encoding a buffer gives
// it back, but for the bytes the format leaves unused, written as zero.
// Preconditions: at most 255 keys, each with at least one segment.
inline std::vector<uint8_t> EncodeFileSpec(const FileSpec& spec) {
  BtrFileSpec file{};
  file.recordLength = spec.recordLength;
  file.pageSize = spec.pageSize;
  file.numberOfKeys = static_cast<uint8_t>(spec.keys.size());
  file.fileVersion = spec.fileVersion;
  file.numberOfRecords = spec.records;
  file.fileFlags = spec.fileFlags;
  file.duplicatePointers = spec.duplicatePointers;
  file.allocation = spec.allocation;
  std::vector<uint8_t> out(sizeof file + spec.SegmentCount() * sizeof(BtrKeySpec) + spec.collations.size());
  std::memcpy(out.data(), &file, sizeof file);
  size_t at = sizeof file;
  for (const KeySpec& key : spec.keys) {
    for (size_t i = 0; i < key.segments.size(); ++i, at += sizeof(BtrKeySpec)) {
      const SegmentSpec& s = key.segments[i];
      BtrKeySpec k{};
      k.position = s.position;
      k.length = s.length;
      k.flags = static_cast<uint16_t>(s.flags & ~B_KEY_SEGMENTED);
      if (i + 1 < key.segments.size()) k.flags |= B_KEY_SEGMENTED;
      if (s.type != TypeOfFlags(s.flags)) k.flags |= B_KEY_EXTENDED_TYPE;
      if (k.flags & B_KEY_EXTENDED_TYPE) k.extendedType = s.type;
      k.uniqueValues = s.uniqueValues;
      k.nullValue = s.nullValue;
      k.manualKeyNumber = s.manualKeyNumber;
      k.acsNumber = s.acsNumber;
      std::memcpy(out.data() + at, &k, sizeof k);
    }
  }
  if (!spec.collations.empty()) std::memcpy(out.data() + at, spec.collations.data(), spec.collations.size());
  return out;
}

// Reads the key specifications of one key from the length bytes at bytes,
// from offset *at on: segments up to the first without B_KEY_SEGMENTED, as
// Create Index takes a key. Appends them to key->segments and moves *at past
// them; returns 0, or 22 (B_DATALENGTH_ERROR) when the bytes end first. A
// segment stored without B_KEY_EXTENDED_TYPE gets the type of its flags.
inline int DecodeKeySpec(const void* bytes, size_t length, size_t* at, KeySpec* key) {
  for (bool more = true; more; *at += sizeof(BtrKeySpec)) {
    if (bytes == nullptr || *at + sizeof(BtrKeySpec) > length) return B_DATALENGTH_ERROR;
    BtrKeySpec raw;
    std::memcpy(&raw, static_cast<const uint8_t*>(bytes) + *at, sizeof raw);
    SegmentSpec s;
    s.position = raw.position;
    s.length = raw.length;
    s.flags = static_cast<uint16_t>(raw.flags & ~B_KEY_SEGMENTED);
    s.type = (raw.flags & B_KEY_EXTENDED_TYPE) ? raw.extendedType : TypeOfFlags(raw.flags);
    s.nullValue = raw.nullValue;
    s.uniqueValues = raw.uniqueValues;
    s.acsNumber = raw.acsNumber;
    s.manualKeyNumber = raw.manualKeyNumber;
    key->segments.push_back(s);
    more = (raw.flags & B_KEY_SEGMENTED) != 0;
  }
  return B_NO_ERROR;
}

// Reads the Create or Stat buffer of length bytes at buffer (which may be
// null only with length 0) into *out. Returns 0; 22 (B_DATALENGTH_ERROR)
// when the buffer is shorter than the file specification or than its keys
// need; 26 (B_NUMBER_OF_KEYS) for more than B_MAX_KEYS keys. On 26 and on a
// short buffer after the file specification, *out holds what was read: the
// file's fields, the whole keys and, for a short buffer, last the key the
// buffer ends in with the segments read of it (perhaps none). Nothing else
// is checked: BtrCheckCreateBuffer gives Create's verdict.
inline int DecodeFileSpec(const void* buffer, uint32_t length, FileSpec* out) {
  *out = FileSpec();
  if (buffer == nullptr || length < sizeof(BtrFileSpec)) return B_DATALENGTH_ERROR;
  BtrFileSpec file;
  std::memcpy(&file, buffer, sizeof file);
  out->recordLength = file.recordLength;
  out->pageSize = file.pageSize;
  out->fileFlags = file.fileFlags;
  out->duplicatePointers = file.duplicatePointers;
  out->allocation = file.allocation;
  out->fileVersion = file.fileVersion;
  out->records = file.numberOfRecords;
  if (file.numberOfKeys > B_MAX_KEYS) return B_NUMBER_OF_KEYS;
  size_t at = sizeof file;
  for (unsigned k = 0; k < file.numberOfKeys; ++k) {
    out->keys.emplace_back();
    const int status = DecodeKeySpec(buffer, length, &at, &out->keys.back());
    if (status != B_NO_ERROR) return status;
  }
  out->collations.assign(static_cast<const char*>(buffer) + at, length - at);
  return B_NO_ERROR;
}

}  // namespace recman
