#pragma once
// The fields of a record that the utility can show readably: the fields the
// database's record files are known to hold, by file name, and the key
// fields of any file, from its own specification.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/file_spec.h"

namespace reclink::cli {

// How a field's bytes are shown.
enum class FieldKind : uint8_t {
  kText,        // zero-terminated code page 932 string, shown as UTF-8
  kByte,        // one byte, shown as its decimal value
  kLayoutMark,  // the point-lat layout mark: '1' current, else older
  kInteger,     // little-endian signed integer of 1, 2, 4 or 8 bytes
  kUnsigned,    // little-endian unsigned integer of 1, 2, 4 or 8 bytes
  kHex,         // bytes shown in hexadecimal
};

// One field of a record.
struct FieldDef {
  uint16_t offset;   // 0-based offset in the record
  uint16_t width;    // bytes
  FieldKind kind;    // how it is shown
  std::string name;  // "patient number"
};

// One field of one record, decoded.
struct FieldValue {
  const FieldDef* def;  // the field
  std::string text;     // UTF-8 text, or the number in decimal
  bool number;          // text is a number (JSON writes it bare)
};

// A run of non-zero bytes that no field shows.
struct ByteRun {
  size_t offset;    // of the first byte
  std::string hex;  // the bytes in lower-case hexadecimal
};

// The fields of the records of the file named fileName (its last path
// component decides, case-insensitively) with specification spec: the known
// fields first, then every key segment no known field covers, in offset order.
std::vector<FieldDef> FieldsOf(const std::string& fileName, const FileSpec& spec);

// Decodes record with fields. A text field shows the bytes up to its first
// zero; the bytes after that zero count as not shown.
std::vector<FieldValue> DecodeFields(const std::vector<FieldDef>& fields, const std::string& record);

// The non-zero bytes of record that no field shows, as runs.
std::vector<ByteRun> OtherBytes(const std::vector<FieldDef>& fields, const std::string& record);

}  // namespace reclink::cli
