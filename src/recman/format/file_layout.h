// The shape of a record file: record length and keys, as Create describes
// them, checked and ready for encoding keys.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recman/format/collation.h"
#include "reclink/btrieve.h"

namespace recman {

// One segment of a key, resolved from its key specification.
struct Segment {
  uint16_t offset;     // 0-based offset of the segment in the record
  uint16_t length;     // bytes of the segment
  uint8_t type;        // B_TYPE_* (binary without extended type reads as unsigned)
  uint8_t nullValue;   // the byte that marks a null segment
  bool descending;     // inverted order
  bool caseInsensitive;  // ASCII letters compare as upper case
  std::shared_ptr<const Collation> collation;  // non-null: bytes compare by its weights
};

// One key: its segments and the flags they agree on.
struct KeyDef {
  std::vector<Segment> segments;  // in key order
  uint16_t length = 0;            // sum of the segment lengths
  bool duplicates = false;        // several records may share a value
  bool modifiable = false;        // Update may change the value
  bool nullAll = false;           // left out of the index when every segment is null
  bool nullAny = false;           // left out when any segment is null (manual key)
  bool autoIncrement = false;     // one autoincrement segment: zero takes highest + 1
};

// The layout of a file.
struct FileLayout {
  uint16_t recordLength = 0;   // fixed record length
  bool variableLength = false; // records may be longer than recordLength
  std::vector<KeyDef> keys;    // key 0 first; none in a data-only file
  std::vector<std::shared_ptr<const Collation>> collations;  // the sequences after the keys, in order
  std::string image;           // the Create buffer as received (spec, key specs, sequences)
  size_t segmentCount = 0;     // key specifications in image
};

// The key types the engine orders (B_TYPE_*); whether a segment of type
// may have length bytes; whether a collating sequence can weigh a type's
// bytes (text).
bool KnownType(uint8_t type);
bool ValidLength(uint8_t type, uint16_t length);
bool TextType(uint8_t type);

// Reads and checks a Create buffer of len bytes. Returns 0 and fills out, or
// the status that names the first problem (22 short buffer, 24 page size,
// 26 key count, 27 key position, 28 record length, 29 key length, 45 flags
// (also a key or file flag the engine does not implement), 48 collating
// sequence, 49 key type).
int ParseLayout(const uint8_t* buffer, uint32_t len, FileLayout* out);

// The layout with one key more, last, as Create Index describes it in a
// buffer of len bytes: the key specifications of its segments, then, for a
// key compared by a collating sequence, that sequence (without one, such a
// key uses the file's first). Returns 0 and fills out, or the status of the
// first problem, as ParseLayout's (48 also for a sequence the file lacks).
int WithKeyAdded(const FileLayout& layout, const uint8_t* buffer, uint32_t len, FileLayout* out);

// The layout without key `key` (< keys.size()); the keys after it move down
// one, the collating sequences stay.
int WithKeyDropped(const FileLayout& layout, size_t key, FileLayout* out);

}  // namespace recman
