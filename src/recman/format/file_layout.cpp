#include "recman/format/file_layout.h"

#include <cstring>

namespace recman {
namespace {

constexpr unsigned kMinRecordLength = 4;
constexpr unsigned kMaxKeys = 119;
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
  if (buffer == nullptr || len < sizeof(BtrFileSpec)) return B_DATALENGTH_ERROR;
  BtrFileSpec spec;
  std::memcpy(&spec, buffer, sizeof spec);
  if (spec.pageSize < 512 || spec.pageSize > 4096 || spec.pageSize % 512 != 0) {
    return B_PAGE_SIZE_ERROR;
  }
  // No keys makes a data-only file: its records are reached by position.
  if (spec.numberOfKeys > kMaxKeys) return B_NUMBER_OF_KEYS;
  if (spec.recordLength < kMinRecordLength) return B_INVALID_RECORD_LENGTH;
  if ((spec.fileFlags & ~kKnownFileFlags) != 0) return B_INCONSISTENT_KEY_FLAGS;

  FileLayout layout;
  layout.recordLength = spec.recordLength;
  layout.variableLength = (spec.fileFlags & B_FILE_VARIABLE_LENGTH) != 0;
  // Per segment in key order: the number of the collating sequence it
  // names, or -1.
  std::vector<int> sequenceOf;
  size_t at = sizeof spec;
  for (unsigned k = 0; k < spec.numberOfKeys; ++k) {
    KeyDef key;
    uint16_t firstFlags = 0;
    for (bool more = true; more;) {
      if (at + sizeof(BtrKeySpec) > len) return B_DATALENGTH_ERROR;
      BtrKeySpec ks;
      std::memcpy(&ks, buffer + at, sizeof ks);
      at += sizeof ks;
      ++layout.segmentCount;
      if ((ks.flags & ~kKnownKeyFlags) != 0) return B_INCONSISTENT_KEY_FLAGS;
      if (key.segments.empty()) {
        firstFlags = ks.flags;
      } else if ((ks.flags & kKeyWideFlags) != (firstFlags & kKeyWideFlags)) {
        return B_INCONSISTENT_KEY_FLAGS;
      }
      Segment seg{};
      if (ks.flags & B_KEY_EXTENDED_TYPE) {
        if (!KnownType(ks.extendedType)) return B_INVALID_EXTENDED_TYPE;
        seg.type = ks.extendedType;
      } else {
        seg.type = (ks.flags & B_KEY_BINARY) ? B_TYPE_UNSIGNED_BINARY : B_TYPE_STRING;
      }
      if (ks.length == 0 || !ValidLength(seg.type, ks.length)) return B_INVALID_KEYLENGTH;
      if (ks.position == 0 ||
          static_cast<unsigned>(ks.position) - 1 + ks.length > spec.recordLength) {
        return B_INVALID_KEY_POSITION;
      }
      seg.offset = static_cast<uint16_t>(ks.position - 1);
      seg.length = ks.length;
      seg.nullValue = ks.nullValue;
      seg.descending = (ks.flags & B_KEY_DESCENDING) != 0;
      seg.caseInsensitive = (ks.flags & B_KEY_CASE_INSENSITIVE) != 0;
      // A sequence weighs the bytes of text; case folding is its business.
      if ((ks.flags & B_KEY_ALT_COLLATION) != 0 && (!TextType(seg.type) || seg.caseInsensitive)) {
        return B_INCONSISTENT_KEY_FLAGS;
      }
      sequenceOf.push_back((ks.flags & B_KEY_ALT_COLLATION) != 0 ? ks.acsNumber : -1);
      if (key.length + ks.length > B_MAX_KEY_LENGTH) return B_INVALID_KEYLENGTH;
      key.length = static_cast<uint16_t>(key.length + ks.length);
      if (seg.type == B_TYPE_AUTOINCREMENT) key.autoIncrement = true;
      key.segments.push_back(seg);
      more = (ks.flags & B_KEY_SEGMENTED) != 0;
    }
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
  for (int n = 0; n < sequences; ++n, at += sizeof(BtrAltCollation)) {
    if (at + sizeof(BtrAltCollation) > len) return B_DATALENGTH_ERROR;
    std::shared_ptr<const Collation> collation;
    const int status = ReadCollation(buffer + at, &collation);
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
  layout.image.assign(reinterpret_cast<const char*>(buffer), at);
  *out = std::move(layout);
  return B_NO_ERROR;
}

namespace {

// A layout's Create image in its three parts.
struct ImageParts {
  BtrFileSpec spec;          // the file specification
  std::string keySpecs;      // every segment's key specification, in key order
  std::string sequences;     // the collating sequences after them
};

ImageParts Split(const FileLayout& layout) {
  ImageParts parts;
  std::memcpy(&parts.spec, layout.image.data(), sizeof parts.spec);
  const size_t specsEnd = sizeof(BtrFileSpec) + layout.segmentCount * sizeof(BtrKeySpec);
  parts.keySpecs = layout.image.substr(sizeof(BtrFileSpec), specsEnd - sizeof(BtrFileSpec));
  parts.sequences = layout.image.substr(specsEnd);
  return parts;
}

int Join(ImageParts parts, FileLayout* out) {
  std::string image(reinterpret_cast<const char*>(&parts.spec), sizeof parts.spec);
  image += parts.keySpecs;
  image += parts.sequences;
  return ParseLayout(reinterpret_cast<const uint8_t*>(image.data()), static_cast<uint32_t>(image.size()), out);
}

}  // namespace

int WithKeyAdded(const FileLayout& layout, const uint8_t* buffer, uint32_t len, FileLayout* out) {
  if (buffer == nullptr) return B_DATALENGTH_ERROR;
  std::vector<BtrKeySpec> segments;
  bool collated = false;  // some segment compares by a collating sequence
  for (bool more = true; more;) {
    if ((segments.size() + 1) * sizeof(BtrKeySpec) > len) return B_DATALENGTH_ERROR;
    BtrKeySpec ks;
    std::memcpy(&ks, buffer + segments.size() * sizeof ks, sizeof ks);
    collated = collated || (ks.flags & B_KEY_ALT_COLLATION) != 0;
    more = (ks.flags & B_KEY_SEGMENTED) != 0;
    segments.push_back(ks);
  }
  ImageParts parts = Split(layout);
  const size_t after = segments.size() * sizeof(BtrKeySpec);
  const bool ownSequence = collated && len - after >= sizeof(BtrAltCollation);
  if (collated && !ownSequence && layout.collations.empty()) return B_INVALID_ACS;
  for (BtrKeySpec& ks : segments) {
    if (ks.flags & B_KEY_ALT_COLLATION) {
      ks.acsNumber = static_cast<uint8_t>(ownSequence ? layout.collations.size() : 0);
    }
    parts.keySpecs.append(reinterpret_cast<const char*>(&ks), sizeof ks);
  }
  if (ownSequence) parts.sequences.append(reinterpret_cast<const char*>(buffer + after), sizeof(BtrAltCollation));
  if (parts.spec.numberOfKeys >= kMaxKeys) return B_NUMBER_OF_KEYS;
  parts.spec.numberOfKeys++;
  return Join(std::move(parts), out);
}

int WithKeyDropped(const FileLayout& layout, size_t key, FileLayout* out) {
  ImageParts parts = Split(layout);
  size_t first = 0;  // the key's first segment
  for (size_t k = 0; k < key; ++k) first += layout.keys[k].segments.size();
  parts.keySpecs.erase(first * sizeof(BtrKeySpec), layout.keys[key].segments.size() * sizeof(BtrKeySpec));
  parts.spec.numberOfKeys--;
  return Join(std::move(parts), out);
}

}  // namespace recman
