#include "cli/record_fields.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "cli/text_codec.h"
#include "reclink/btrieve.h"
#include "reclink/records/catalogue.h"

namespace reclink::cli {

namespace {

using K = FieldKind;

// The fields the record-file table names for the file called base: its named
// key segments (once where keys share one) and the other fields the library
// reads or writes.
std::vector<FieldDef> KnownFields(const std::string& base) {
  std::vector<FieldDef> fields;
  for (const RecordFileRow& row : kRecordFiles) {
    if (strcasecmp(row.fileName, base.c_str()) != 0) continue;
    for (int k = 0; k < row.keyCount; ++k) {
      for (int s = 0; s < row.keys[k].segmentCount; ++s) {
        const KeySegment& seg = row.keys[k].segments[s];
        const bool known = std::any_of(fields.begin(), fields.end(),
                                       [&](const FieldDef& f) { return f.offset == seg.offset; });
        if (seg.name != nullptr && !known) fields.push_back({seg.offset, seg.width, K::kText, seg.name});
      }
    }
    for (const RecordField* other : {&kPatientExclusionFlag, &kPointLatLayoutMark}) {
      if (&RecordFileOf(other->file) != &row) continue;
      const FieldKind kind = other == &kPointLatLayoutMark ? K::kLayoutMark : K::kByte;
      fields.push_back({other->offset, other->width, kind, other->name});
    }
  }
  return fields;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

FieldKind KindOfKeyType(uint8_t type) {
  switch (type) {
    case B_TYPE_STRING:
    case B_TYPE_ZSTRING:
      return K::kText;
    case B_TYPE_INTEGER:
    case B_TYPE_AUTOINCREMENT:
      return K::kInteger;
    case B_TYPE_UNSIGNED_BINARY:
      return K::kUnsigned;
    default:
      return K::kHex;
  }
}

std::string HexOf(const unsigned char* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[p[i] >> 4]);
    out.push_back(kDigits[p[i] & 15]);
  }
  return out;
}

bool IntegerWidth(uint16_t width) { return width == 1 || width == 2 || width == 4 || width == 8; }

// Bytes of the record a field shows: a text field up to and with its
// terminator, any other field in full.
size_t ShownWidth(const FieldDef& f, const std::string& record) {
  if (f.offset >= record.size()) return 0;
  size_t avail = std::min<size_t>(f.width, record.size() - f.offset);
  if (f.kind != K::kText) return avail;
  const char* p = record.data() + f.offset;
  const void* zero = std::memchr(p, 0, avail);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) + 1 : avail;
}

}  // namespace

std::vector<FieldDef> FieldsOf(const std::string& fileName, const FileSpec& spec) {
  std::string base = BaseName(fileName);
  std::vector<FieldDef> fields = KnownFields(base);
  // Key segments that no known field covers are shown by their key type.
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    const KeySpec& key = spec.keys[k];
    for (size_t s = 0; s < key.segments.size(); ++s) {
      const SegmentSpec& seg = key.segments[s];
      uint16_t offset = static_cast<uint16_t>(seg.position - 1);
      bool covered = std::any_of(fields.begin(), fields.end(), [&](const FieldDef& f) {
        return offset < f.offset + f.width && f.offset < offset + seg.length;
      });
      if (covered || seg.position == 0) continue;
      FieldKind kind = KindOfKeyType(seg.type);
      if ((kind == K::kInteger || kind == K::kUnsigned) && !IntegerWidth(seg.length)) kind = K::kHex;
      std::string name = "key " + std::to_string(k);
      if (key.segments.size() > 1) name += " segment " + std::to_string(s + 1);
      fields.push_back({offset, seg.length, kind, name});
    }
  }
  std::stable_sort(fields.begin(), fields.end(),
                   [](const FieldDef& a, const FieldDef& b) { return a.offset < b.offset; });
  return fields;
}

std::vector<FieldValue> DecodeFields(const std::vector<FieldDef>& fields, const std::string& record) {
  std::vector<FieldValue> out;
  for (const FieldDef& f : fields) {
    FieldValue v{&f, "", false};
    size_t avail = f.offset < record.size() ? std::min<size_t>(f.width, record.size() - f.offset) : 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(record.data()) + f.offset;
    switch (f.kind) {
      case K::kText: {
        size_t n = ShownWidth(f, record);
        if (n > 0 && p[n - 1] == 0) --n;
        v.text = Cp932ToUtf8(std::string(reinterpret_cast<const char*>(p), n));
        break;
      }
      case K::kByte:
        if (avail == 1) {
          v.text = std::to_string(p[0]);
          v.number = true;
        }
        break;
      case K::kLayoutMark:
        if (avail == 1) {
          v.text = p[0] == '1' ? "current" : "older (0x" + HexOf(p, 1) + ")";
        }
        break;
      case K::kInteger:
      case K::kUnsigned: {
        if (avail != f.width) break;
        uint64_t u = 0;
        for (size_t i = 0; i < avail; ++i) u |= uint64_t{p[i]} << (8 * i);
        if (f.kind == K::kInteger && avail < 8 && (p[avail - 1] & 0x80)) {
          u |= ~uint64_t{0} << (8 * avail);
        }
        v.text = f.kind == K::kInteger ? std::to_string(static_cast<int64_t>(u)) : std::to_string(u);
        v.number = true;
        break;
      }
      case K::kHex:
        v.text = HexOf(p, avail);
        break;
    }
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<ByteRun> OtherBytes(const std::vector<FieldDef>& fields, const std::string& record) {
  std::vector<bool> shown(record.size(), false);
  for (const FieldDef& f : fields) {
    size_t n = ShownWidth(f, record);
    for (size_t i = 0; i < n; ++i) shown[f.offset + i] = true;
  }
  std::vector<ByteRun> runs;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(record.data());
  for (size_t i = 0; i < record.size();) {
    if (shown[i] || p[i] == 0) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < record.size() && !shown[i] && p[i] != 0) ++i;
    runs.push_back({start, HexOf(p + start, i - start)});
  }
  return runs;
}

}  // namespace reclink::cli
