// Key values: taken from records or key buffers, and encoded so that the
// byte order of the encoding (memcmp, the order in which storage compares bytes) is the key order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recman/format/file_layout.h"

namespace recman {

// The encoded values of every key of one record.
struct EncodedKeys {
  std::vector<std::string> value;  // encoding per key
  std::vector<bool> present;       // false: null, kept out of the index
};

// Encodes every key of layout as it stands in record.
EncodedKeys EncodeAll(const FileLayout& layout, const uint8_t* record);

// Encodes key's value as it stands in record (recordLength bytes at least).
// Returns false when the value is null for that key (kept out of the index);
// out still receives the encoding.
bool EncodeFromRecord(const KeyDef& key, const uint8_t* record, std::string* out);

// One record's value of one key, by the record's position: what Create
// Index takes from every record for the key it adds.
struct PositionedKey {
  int64_t pos;        // the record
  bool present;       // false: null, kept out of the index
  std::string value;  // the key's encoding
};

// key's value in the record at pos, its data `length` bytes. Returns false
// when the record is shorter than recordLength: damage, not a value.
bool TakeKeyValue(const KeyDef& key, uint32_t recordLength, int64_t pos, const uint8_t* data, uint32_t length,
                  PositionedKey* out);

// Encodes key's value as it stands in a key buffer: the segments one after
// another, key.length bytes. Same result as EncodeFromRecord.
bool EncodeFromKeyBuffer(const KeyDef& key, const uint8_t* keyBuffer, std::string* out);

// Writes the encoding of one segment's value at bytes to dst, exactly
// seg.length bytes: the byte order of two encodings is the order of the
// values.
void EncodeSegment(const Segment& seg, const uint8_t* bytes, uint8_t* dst);

// Copies key's segments from record into keyBuffer (key.length bytes), the
// form that every successful Get hands back.
void ExtractKey(const KeyDef& key, const uint8_t* record, uint8_t* keyBuffer);

// The signed value of an integer segment as stored in a record.
int64_t ReadInteger(const uint8_t* bytes, uint16_t length);

// Stores value into an integer segment of a record.
void WriteInteger(uint8_t* bytes, uint16_t length, int64_t value);

// The value whose encoding (of an ascending integer segment) is encoded.
int64_t DecodeInteger(const std::string& encoded);

}  // namespace recman
