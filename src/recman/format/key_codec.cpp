#include "recman/format/key_codec.h"

#include <cstring>

namespace recman {
namespace {

bool SegmentIsNull(const Segment& seg, const uint8_t* bytes) {
  if (seg.type == B_TYPE_ZSTRING && seg.nullValue == 0) return bytes[0] == 0;
  for (uint16_t i = 0; i < seg.length; ++i) {
    if (bytes[i] != seg.nullValue) return false;
  }
  return true;
}

// Copies n bytes of text: each byte's weight in the segment's collating
// sequence, or upper-casing ASCII letters for a case-insensitive segment.
void CopyText(const Segment& seg, const uint8_t* bytes, uint16_t n, uint8_t* dst) {
  if (seg.collation) {
    for (uint16_t i = 0; i < n; ++i) dst[i] = seg.collation->weights[bytes[i]];
    return;
  }
  if (!seg.caseInsensitive) {
    std::memcpy(dst, bytes, n);
    return;
  }
  for (uint16_t i = 0; i < n; ++i) {
    const uint8_t c = bytes[i];
    dst[i] = c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c;
  }
}

// Little-endian bytes as big-endian, optionally with the sign bit flipped.
void CopyBigEndian(const uint8_t* bytes, uint16_t n, bool flipSign, uint8_t* dst) {
  for (uint16_t i = 0; i < n; ++i) dst[i] = bytes[n - 1 - i];
  if (flipSign) dst[0] ^= 0x80;
}

void Invert(uint8_t* dst, uint16_t n) {
  for (uint16_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
}

}  // namespace

void EncodeSegment(const Segment& seg, const uint8_t* bytes, uint8_t* dst) {
  const uint16_t length = seg.length;
  switch (seg.type) {
    case B_TYPE_ZSTRING: {
      const uint16_t n = static_cast<uint16_t>(strnlen(reinterpret_cast<const char*>(bytes), length));
      CopyText(seg, bytes, n, dst);
      std::memset(dst + n, 0, length - n);
      break;
    }
    case B_TYPE_LSTRING: {
      const uint16_t n = bytes[0] < length - 1 ? bytes[0] : static_cast<uint16_t>(length - 1);
      CopyText(seg, bytes + 1, n, dst);
      std::memset(dst + n, 0, length - n);
      break;
    }
    case B_TYPE_INTEGER:
    case B_TYPE_AUTOINCREMENT:
      CopyBigEndian(bytes, length, true, dst);
      break;
    case B_TYPE_UNSIGNED_BINARY:
      CopyBigEndian(bytes, length, false, dst);
      break;
    case B_TYPE_FLOAT: {
      // Positive: the sign bit flipped; negative: every bit inverted.
      const bool negative = (bytes[length - 1] & 0x80) != 0;
      CopyBigEndian(bytes, length, !negative, dst);
      if (negative) Invert(dst, length);
      break;
    }
    default:  // string: every byte counts
      CopyText(seg, bytes, length, dst);
      break;
  }
  if (seg.descending) Invert(dst, length);
}

namespace {

// Encodes key from its segments, found at seg.offset in record mode or one
// after another in key-buffer mode.
bool Encode(const KeyDef& key, const uint8_t* base, bool fromRecord, std::string* out) {
  out->resize(key.length);
  uint8_t* dst = reinterpret_cast<uint8_t*>(out->data());
  size_t nulls = 0;
  size_t at = 0;
  for (const Segment& seg : key.segments) {
    const uint8_t* bytes = base + (fromRecord ? seg.offset : at);
    if ((key.nullAll || key.nullAny) && SegmentIsNull(seg, bytes)) ++nulls;
    EncodeSegment(seg, bytes, dst + at);
    at += seg.length;
  }
  if (key.nullAny && nulls > 0) return false;
  if (key.nullAll && nulls == key.segments.size()) return false;
  return true;
}

}  // namespace

EncodedKeys EncodeAll(const FileLayout& layout, const uint8_t* record) {
  EncodedKeys keys;
  keys.value.resize(layout.keys.size());
  keys.present.resize(layout.keys.size());
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    keys.present[k] = EncodeFromRecord(layout.keys[k], record, &keys.value[k]);
  }
  return keys;
}

bool EncodeFromRecord(const KeyDef& key, const uint8_t* record, std::string* out) {
  return Encode(key, record, true, out);
}

bool TakeKeyValue(const KeyDef& key, uint32_t recordLength, int64_t pos, const uint8_t* data, uint32_t length,
                  PositionedKey* out) {
  if (length < recordLength) return false;
  out->pos = pos;
  out->present = EncodeFromRecord(key, data, &out->value);
  return true;
}

bool EncodeFromKeyBuffer(const KeyDef& key, const uint8_t* keyBuffer, std::string* out) {
  return Encode(key, keyBuffer, false, out);
}

void ExtractKey(const KeyDef& key, const uint8_t* record, uint8_t* keyBuffer) {
  for (const Segment& seg : key.segments) {
    std::memcpy(keyBuffer, record + seg.offset, seg.length);
    keyBuffer += seg.length;
  }
}

int64_t ReadInteger(const uint8_t* bytes, uint16_t length) {
  uint64_t value = 0;
  for (uint16_t i = length; i > 0; --i) value = (value << 8) | bytes[i - 1];
  if (length < 8 && (bytes[length - 1] & 0x80)) value |= ~uint64_t{0} << (8 * length);
  return static_cast<int64_t>(value);
}

void WriteInteger(uint8_t* bytes, uint16_t length, int64_t value) {
  uint64_t v = static_cast<uint64_t>(value);
  for (uint16_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(v & 0xff);
    v >>= 8;
  }
}

int64_t DecodeInteger(const std::string& encoded) {
  uint8_t little[8] = {};
  const size_t n = encoded.size() < 8 ? encoded.size() : 8;
  for (size_t i = 0; i < n; ++i) little[i] = static_cast<uint8_t>(encoded[n - 1 - i]);
  if (n > 0) little[n - 1] ^= 0x80;
  return ReadInteger(little, static_cast<uint16_t>(n));
}

}  // namespace recman
