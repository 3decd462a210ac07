#include "recman/format/file_layout.h"

#include <cstddef>

#include "reclink/file_spec.h"

namespace recman {
namespace {

constexpr unsigned kMinRecordLength = 4;
// Flags that must agree over every segment of one key.
constexpr uint16_t kKeyWideFlags = B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_NULL | B_KEY_MANUAL;
// Every key flag the engine implements; a key asking any other is refused,
// never ordered as if the flag were not there.
constexpr uint16_t kKnownKeyFlags = kKeyWideFlags | B_KEY_BINARY | B_KEY_SEGMENTED | B_KEY_ALT_COLLATION |
                                    B_KEY_DESCENDING | B_KEY_EXTENDED_TYPE | B_KEY_CASE_INSENSITIVE;
// Every file flag Create accepts.
constexpr uint16_t kKnownFileFlags = B_FILE_VARIABLE_LENGTH | B_FILE_PREALLOCATE | B_FILE_COMPRESSED |
                                     B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20 | B_FILE_DUPLICATE_POINTERS;

}  // namespace

bool ValidLength(uint8_t type, uint16_t length) {
  switch (type) {
    case B_TYPE_INTEGER: return length == 1 || length == 2 || length == 4 || length == 8;
    case B_TYPE_AUTOINCREMENT: return length == 2 || length == 4 || length == 8;
    case B_TYPE_FLOAT: return length == 4 || length == 8;
    case B_TYPE_UNSIGNED_BINARY: return length >= 1;
    case B_TYPE_LSTRING: return length >= 2;
    default: return length >= 1;
  }
}

bool TextType(uint8_t type) {
  return type == B_TYPE_STRING || type == B_TYPE_LSTRING || type == B_TYPE_ZSTRING;
}

bool KnownType(uint8_t type) {
  switch (type) {
    case B_TYPE_STRING: case B_TYPE_INTEGER: case B_TYPE_FLOAT: case B_TYPE_LSTRING:
    case B_TYPE_ZSTRING: case B_TYPE_UNSIGNED_BINARY: case B_TYPE_AUTOINCREMENT:
      return true;
    default:
      return false;
  }
}

int ParseLayout(const uint8_t* buffer, uint32_t len, FileLayout* out) {
  FileSpec spec;
  const int read = DecodeFileSpec(buffer, len, &spec);
  // Without a whole file specification there is nothing else to check.
  if (buffer == nullptr || len < sizeof(BtrFileSpec)) return read;
  if (spec.pageSize < 512 || spec.pageSize > 4096 || spec.pageSize % 512 != 0) {
    return B_PAGE_SIZE_ERROR;
  }
  // No keys makes a data-only file: its records are reached by position.
  if (read == B_NUMBER_OF_KEYS) return read;
  if (spec.recordLength < kMinRecordLength) return B_INVALID_RECORD_LENGTH;
  if ((spec.fileFlags & ~kKnownFileFlags) != 0) return B_INCONSISTENT_KEY_FLAGS;

  FileLayout layout;
  layout.recordLength = spec.recordLength;
  layout.variableLength = (spec.fileFlags & B_FILE_VARIABLE_LENGTH) != 0;
  // Per segment in key order: the number of the collating sequence it
  // names, or -1.
  std::vector<int> sequenceOf;
  for (const KeySpec& ks : spec.keys) {
    KeyDef key;
    const uint16_t firstFlags = ks.segments.empty() ? 0 : ks.segments[0].flags;
    for (const SegmentSpec& ss : ks.segments) {
      ++layout.segmentCount;
      if ((ss.flags & ~kKnownKeyFlags) != 0) return B_INCONSISTENT_KEY_FLAGS;
      if ((ss.flags & kKeyWideFlags) != (firstFlags & kKeyWideFlags)) return B_INCONSISTENT_KEY_FLAGS;
      Segment seg{};
      if (!KnownType(ss.type)) return B_INVALID_EXTENDED_TYPE;
      seg.type = ss.type;
      if (ss.length == 0 || !ValidLength(seg.type, ss.length)) return B_INVALID_KEYLENGTH;
      if (ss.position == 0 ||
          static_cast<unsigned>(ss.position) - 1 + ss.length > spec.recordLength) {
        return B_INVALID_KEY_POSITION;
      }
      seg.offset = static_cast<uint16_t>(ss.position - 1);
      seg.length = ss.length;
      seg.nullValue = ss.nullValue;
      seg.descending = (ss.flags & B_KEY_DESCENDING) != 0;
      seg.caseInsensitive = (ss.flags & B_KEY_CASE_INSENSITIVE) != 0;
      // A sequence weighs the bytes of text; case folding is its business.
      if ((ss.flags & B_KEY_ALT_COLLATION) != 0 && (!TextType(seg.type) || seg.caseInsensitive)) {
        return B_INCONSISTENT_KEY_FLAGS;
      }
      sequenceOf.push_back((ss.flags & B_KEY_ALT_COLLATION) != 0 ? ss.acsNumber : -1);
      if (key.length + ss.length > B_MAX_KEY_LENGTH) return B_INVALID_KEYLENGTH;
      key.length = static_cast<uint16_t>(key.length + ss.length);
      if (seg.type == B_TYPE_AUTOINCREMENT) key.autoIncrement = true;
      key.segments.push_back(seg);
    }
    // A short buffer ends in the last key read: its segments are checked,
    // the rest of it is missing.
    if (read != B_NO_ERROR && &ks == &spec.keys.back()) return read;
    key.duplicates = (firstFlags & B_KEY_DUPLICATES) != 0;
    key.modifiable = (firstFlags & B_KEY_MODIFIABLE) != 0;
    key.nullAny = (firstFlags & B_KEY_MANUAL) != 0;
    key.nullAll = !key.nullAny && (firstFlags & B_KEY_NULL) != 0;
    // An autoincrement value must be unique and stand alone in its key, so
    // that the highest stored value is the last entry of the key.
    if (key.autoIncrement &&
        (key.segments.size() != 1 || key.duplicates || key.segments[0].descending)) {
      return B_INCONSISTENT_KEY_FLAGS;
    }
    layout.keys.push_back(std::move(key));
  }
  // The sequences follow the keys, as many as the highest number named.
  int sequences = 0;
  for (int n : sequenceOf) sequences = n + 1 > sequences ? n + 1 : sequences;
  const char* sequence = spec.collations.data();
  for (int n = 0; n < sequences; ++n, sequence += sizeof(BtrAltCollation)) {
    if ((n + 1) * sizeof(BtrAltCollation) > spec.collations.size()) return B_DATALENGTH_ERROR;
    std::shared_ptr<const Collation> collation;
    const int status = ReadCollation(reinterpret_cast<const uint8_t*>(sequence), &collation);
    if (status != B_NO_ERROR) return status;
    layout.collations.push_back(std::move(collation));
  }
  size_t s = 0;
  for (KeyDef& key : layout.keys) {
    for (Segment& seg : key.segments) {
      const int n = sequenceOf[s++];
      if (n >= 0) seg.collation = layout.collations[n];
    }
  }
  const size_t end = len - spec.collations.size() + sequences * sizeof(BtrAltCollation);
  layout.image.assign(reinterpret_cast<const char*>(buffer), end);
  *out = std::move(layout);
  return B_NO_ERROR;
}

namespace {

// The file specification of layout, as its image holds it.
FileSpec SpecOf(const FileLayout& layout) {
  FileSpec spec;
  DecodeFileSpec(layout.image.data(), static_cast<uint32_t>(layout.image.size()), &spec);
  return spec;
}

int Parse(const FileSpec& spec, FileLayout* out) {
  const std::vector<uint8_t> image = EncodeFileSpec(spec);
  return ParseLayout(image.data(), static_cast<uint32_t>(image.size()), out);
}

}  // namespace

int WithKeyAdded(const FileLayout& layout, const uint8_t* buffer, uint32_t len, FileLayout* out) {
  KeySpec key;
  size_t after = 0;
  if (DecodeKeySpec(buffer, len, &after, &key) != B_NO_ERROR) return B_DATALENGTH_ERROR;
  bool collated = false;  // some segment compares by a collating sequence
  for (const SegmentSpec& s : key.segments) collated = collated || (s.flags & B_KEY_ALT_COLLATION) != 0;
  const bool ownSequence = collated && len - after >= sizeof(BtrAltCollation);
  if (collated && !ownSequence && layout.collations.empty()) return B_INVALID_ACS;
  FileSpec spec = SpecOf(layout);
  for (SegmentSpec& s : key.segments) {
    if (s.flags & B_KEY_ALT_COLLATION) {
      s.acsNumber = static_cast<uint8_t>(ownSequence ? layout.collations.size() : 0);
    }
  }
  if (ownSequence) spec.collations.append(reinterpret_cast<const char*>(buffer + after), sizeof(BtrAltCollation));
  if (spec.keys.size() >= B_MAX_KEYS) return B_NUMBER_OF_KEYS;
  spec.keys.push_back(std::move(key));
  return Parse(spec, out);
}

int WithKeyDropped(const FileLayout& layout, size_t key, FileLayout* out) {
  FileSpec spec = SpecOf(layout);
  spec.keys.erase(spec.keys.begin() + static_cast<std::ptrdiff_t>(key));
  return Parse(spec, out);
}

}  // namespace recman
