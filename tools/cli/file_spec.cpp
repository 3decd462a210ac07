#include "cli/file_spec.h"

#include <cstring>
#include <strings.h>

#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

// Key types the record manager stores, with the names the utility uses.
struct KeyTypeRow {
  uint8_t type;      // B_TYPE_*
  const char* name;  // in descriptions and listings
};
constexpr KeyTypeRow kKeyTypes[] = {
    {B_TYPE_STRING, "string"},
    {B_TYPE_INTEGER, "integer"},
    {B_TYPE_FLOAT, "float"},
    {B_TYPE_LSTRING, "lstring"},
    {B_TYPE_ZSTRING, "zstring"},
    {B_TYPE_UNSIGNED_BINARY, "unsigned_binary"},
    {B_TYPE_AUTOINCREMENT, "autoincrement"},
};

constexpr size_t kFileSpecSize = sizeof(BtrFileSpec);
constexpr size_t kKeySpecSize = sizeof(BtrKeySpec);

}  // namespace

int KeySpec::Length() const {
  int total = 0;
  for (const SegmentSpec& s : segments) total += s.length;
  return total;
}

int FileSpec::SegmentCount() const {
  int total = 0;
  for (const KeySpec& k : keys) total += static_cast<int>(k.segments.size());
  return total;
}

const char* KeyTypeName(uint8_t type) {
  for (const KeyTypeRow& row : kKeyTypes) {
    if (row.type == type) return row.name;
  }
  return nullptr;
}

bool KeyTypeFromName(const std::string& name, uint8_t* type) {
  for (const KeyTypeRow& row : kKeyTypes) {
    if (strcasecmp(row.name, name.c_str()) == 0) {
      *type = row.type;
      return true;
    }
  }
  if (strcasecmp(name.c_str(), "unsigned") == 0) {
    *type = B_TYPE_UNSIGNED_BINARY;
    return true;
  }
  return false;
}

std::string EncodeCreateBuffer(const FileSpec& spec) {
  BtrFileSpec file{};
  file.recordLength = spec.recordLength;
  file.pageSize = spec.pageSize;
  file.numberOfKeys = static_cast<uint8_t>(spec.keys.size());
  file.fileFlags = spec.fileFlags;
  file.duplicatePointers = spec.duplicatePointers;
  file.allocation = spec.allocation;
  std::string out(reinterpret_cast<const char*>(&file), kFileSpecSize);
  for (const KeySpec& key : spec.keys) {
    for (size_t i = 0; i < key.segments.size(); ++i) {
      const SegmentSpec& s = key.segments[i];
      BtrKeySpec k{};
      k.position = s.position;
      k.length = s.length;
      k.flags = static_cast<uint16_t>(s.flags | B_KEY_EXTENDED_TYPE);
      if (i + 1 < key.segments.size()) k.flags |= B_KEY_SEGMENTED;
      k.extendedType = s.type;
      k.nullValue = s.nullValue;
      k.manualKeyNumber = s.manualKeyNumber;
      k.acsNumber = s.acsNumber;
      out.append(reinterpret_cast<const char*>(&k), kKeySpecSize);
    }
  }
  return out + spec.collations;
}

bool DecodeStatBuffer(const void* buffer, size_t size, FileSpec* spec, std::string* error) {
  if (size < kFileSpecSize) {
    *error = "file specification is shorter than 16 bytes";
    return false;
  }
  const char* bytes = static_cast<const char*>(buffer);
  BtrFileSpec file;
  std::memcpy(&file, bytes, kFileSpecSize);
  *spec = FileSpec();
  spec->recordLength = file.recordLength;
  spec->pageSize = file.pageSize;
  spec->fileFlags = file.fileFlags;
  spec->duplicatePointers = file.duplicatePointers;
  spec->allocation = file.allocation;
  spec->fileVersion = file.fileVersion;
  spec->records = file.numberOfRecords;
  size_t offset = kFileSpecSize;
  for (int k = 0; k < file.numberOfKeys; ++k) {
    KeySpec key;
    for (;;) {
      if (offset + kKeySpecSize > size) {
        *error = "key specification " + std::to_string(k) + " runs past the buffer";
        return false;
      }
      BtrKeySpec raw;
      std::memcpy(&raw, bytes + offset, kKeySpecSize);
      offset += kKeySpecSize;
      SegmentSpec s;
      s.position = raw.position;
      s.length = raw.length;
      s.flags = static_cast<uint16_t>(raw.flags & ~(B_KEY_SEGMENTED | B_KEY_EXTENDED_TYPE));
      s.type = (raw.flags & B_KEY_EXTENDED_TYPE)
                   ? raw.extendedType
                   : static_cast<uint8_t>((raw.flags & B_KEY_BINARY) ? B_TYPE_UNSIGNED_BINARY
                                                                     : B_TYPE_STRING);
      if (!(raw.flags & B_KEY_EXTENDED_TYPE)) s.flags &= static_cast<uint16_t>(~B_KEY_BINARY);
      s.nullValue = raw.nullValue;
      s.uniqueValues = raw.uniqueValues;
      s.acsNumber = raw.acsNumber;
      s.manualKeyNumber = raw.manualKeyNumber;
      key.segments.push_back(s);
      if (!(raw.flags & B_KEY_SEGMENTED)) break;
    }
    spec->keys.push_back(std::move(key));
  }
  spec->collations.assign(bytes + offset, size - offset);
  return true;
}

}  // namespace reclink::cli
