#include "recman/format/extended.h"

#include <algorithm>
#include <cstring>

#include "recman/format/key_codec.h"

namespace recman {
namespace {

constexpr uint8_t kBiases = B_EXT_USE_ACS | B_EXT_FIELD | B_EXT_NO_CASE;

// Reads the descriptor's little-endian fields in order; a read past its end
// leaves ok() false.
class Reader {
 public:
  Reader(const uint8_t* data, uint32_t end) : data_(data), end_(end) {}
  uint8_t Byte() { return Take(1) ? data_[at_ - 1] : 0; }
  uint16_t Word() {
    uint16_t v = 0;
    if (Take(2)) std::memcpy(&v, data_ + at_ - 2, 2);
    return v;
  }
  const uint8_t* Bytes(uint32_t n) { return Take(n) ? data_ + at_ - n : nullptr; }
  bool ok() const { return ok_; }
  uint32_t read() const { return at_; }

 private:
  bool Take(uint32_t n) {
    ok_ = ok_ && end_ - at_ >= n;
    if (ok_) at_ += n;
    return ok_;
  }
  const uint8_t* data_;  // the descriptor (not owned)
  uint32_t end_;         // its length
  uint32_t at_ = 0;      // bytes read
  bool ok_ = true;       // nothing read past the end
};

// Whether [offset, offset + length) lies inside every record of layout.
bool InsideRecord(const FileLayout& layout, uint16_t offset, uint16_t length) {
  return length > 0 && (layout.variableLength || offset + length <= layout.recordLength);
}

// Reads one term. Returns 0 or 62.
int ReadTerm(Reader& r, const FileLayout& layout, FilterTerm* t) {
  const uint8_t type = r.Byte();
  const uint16_t length = r.Word();
  const uint16_t offset = r.Word();
  const uint8_t comparison = r.Byte();
  t->connector = r.Byte();
  t->comparison = comparison & ~kBiases;
  t->againstField = (comparison & B_EXT_FIELD) != 0;
  if (!r.ok() || !KnownType(type) || !ValidLength(type, length) || !InsideRecord(layout, offset, length) ||
      t->comparison < B_EXT_EQUAL || t->comparison > B_EXT_LESS_EQ || t->connector > B_EXT_OR) {
    return B_INCORRECT_DESCRIPTOR;
  }
  t->field = Segment{offset, length, type, 0, false, (comparison & B_EXT_NO_CASE) != 0, nullptr};
  if (comparison & B_EXT_USE_ACS) {
    if (layout.collations.empty()) return B_INCORRECT_DESCRIPTOR;
    t->field.collation = layout.collations.front();
  }
  if (t->againstField) {
    t->otherOffset = r.Word();
    return r.ok() && InsideRecord(layout, t->otherOffset, length) ? B_NO_ERROR : B_INCORRECT_DESCRIPTOR;
  }
  const uint8_t* value = r.Bytes(length);
  if (value == nullptr) return B_INCORRECT_DESCRIPTOR;
  t->constant.resize(length);
  EncodeSegment(t->field, value, reinterpret_cast<uint8_t*>(t->constant.data()));
  return B_NO_ERROR;
}

// The term's field in the record, encoded into out; false when the record
// ends before the field does.
bool EncodeField(const Segment& field, uint16_t offset, const uint8_t* record, uint32_t length,
                 std::string* out) {
  if (static_cast<uint32_t>(offset) + field.length > length) return false;
  out->resize(field.length);
  EncodeSegment(field, record + offset, reinterpret_cast<uint8_t*>(out->data()));
  return true;
}

bool Holds(uint8_t comparison, int order) {
  switch (comparison) {
    case B_EXT_EQUAL: return order == 0;
    case B_EXT_GREATER: return order > 0;
    case B_EXT_LESS: return order < 0;
    case B_EXT_NOT_EQUAL: return order != 0;
    case B_EXT_GREATER_EQ: return order >= 0;
    default: return order <= 0;
  }
}

bool TermHolds(const FilterTerm& t, const uint8_t* record, uint32_t length, std::string* a, std::string* b) {
  if (!EncodeField(t.field, t.field.offset, record, length, a)) return false;
  const std::string* other = &t.constant;
  if (t.againstField) {
    if (!EncodeField(t.field, t.otherOffset, record, length, b)) return false;
    other = b;
  }
  return Holds(t.comparison, a->compare(*other));
}

}  // namespace

int ReadDescriptor(const uint8_t* data, uint32_t length, const FileLayout& layout, Descriptor* out) {
  Reader header(data, length);
  const uint16_t declared = header.Word();
  const uint8_t* id = header.Bytes(2);
  if (id == nullptr || declared > length) return B_INCORRECT_DESCRIPTOR;
  const bool eg = id[0] == 'E' && id[1] == 'G';
  const bool uc = id[0] == 'U' && id[1] == 'C';
  if (!eg && !uc) return B_INCORRECT_DESCRIPTOR;

  Reader r(data + 4, declared >= 4 ? declared - 4u : 0u);
  Descriptor d;
  d.withCurrent = uc;
  d.rejectLimit = r.Word();
  const uint16_t terms = r.Word();
  for (uint16_t i = 0; i < terms && r.ok(); ++i) {
    FilterTerm t;
    const int status = ReadTerm(r, layout, &t);
    if (status != B_NO_ERROR) return status;
    // Every term but the last names how the next one joins it.
    if ((t.connector == B_EXT_LAST_TERM) != (i + 1 == terms)) return B_INCORRECT_DESCRIPTOR;
    d.terms.push_back(std::move(t));
  }
  d.records = r.Word();
  const uint16_t fields = r.Word();
  for (uint16_t i = 0; i < fields && r.ok(); ++i) {
    ExtractedField f;
    f.length = r.Word();
    f.offset = r.Word();
    // A field that begins past the record's end has the wrong offset (65,
    // below); in a fixed-length file, one that begins inside ends inside.
    const bool beginsInFixed = !layout.variableLength && f.offset < layout.recordLength;
    if (f.length == 0 || (beginsInFixed && !InsideRecord(layout, f.offset, f.length))) {
      return B_INCORRECT_DESCRIPTOR;
    }
    d.shortestRecord = std::max<uint32_t>(d.shortestRecord, f.offset + 1u);
    d.fields.push_back(f);
  }
  // The length word counts exactly the bytes read: no more, no fewer.
  if (!r.ok() || header.read() + r.read() != declared || d.records == 0 || d.fields.empty()) {
    return B_INCORRECT_DESCRIPTOR;
  }
  // Every record of a fixed-length file has its length: a field past it
  // is past every record's end.
  if (!layout.variableLength && d.shortestRecord > layout.recordLength) return B_INVALID_FIELD_OFFSET;
  *out = std::move(d);
  return B_NO_ERROR;
}

void FindLimit(const KeyDef& key, bool forward, Descriptor* d) {
  d->limitTerm = -1;
  if (d->terms.empty() || key.segments.empty()) return;
  const FilterTerm& t = d->terms.front();
  const Segment& seg = key.segments.front();
  d->limitAscending = forward != seg.descending;
  const bool bounding = t.comparison == B_EXT_EQUAL ||
                        (d->limitAscending ? t.comparison == B_EXT_LESS || t.comparison == B_EXT_LESS_EQ
                                           : t.comparison == B_EXT_GREATER || t.comparison == B_EXT_GREATER_EQ);
  const bool sameField = t.field.offset == seg.offset && t.field.length == seg.length && t.field.type == seg.type &&
                         t.field.caseInsensitive == seg.caseInsensitive && t.field.collation == seg.collation;
  if (bounding && sameField && !t.againstField && t.connector != B_EXT_OR) d->limitTerm = 0;
}

bool Matches(const Descriptor& d, const uint8_t* record, uint32_t length, std::string* a, std::string* b) {
  for (const FilterTerm& t : d.terms) {
    const bool holds = TermHolds(t, record, length, a, b);
    if (t.connector == B_EXT_LAST_TERM) return holds;
    if (t.connector == B_EXT_OR && holds) return true;
    if (t.connector == B_EXT_AND && !holds) return false;
  }
  return true;  // no filter
}

bool PastLimit(const Descriptor& d, const uint8_t* record, uint32_t length, std::string* scratch) {
  if (d.limitTerm < 0) return false;
  const FilterTerm& t = d.terms[d.limitTerm];
  if (!EncodeField(t.field, t.field.offset, record, length, scratch)) return false;
  const int order = scratch->compare(t.constant);
  if (Holds(t.comparison, order)) return false;
  // An inequality that fails on this walk fails on every later record; an
  // equality only once the walk has passed its value.
  return t.comparison != B_EXT_EQUAL || (d.limitAscending ? order > 0 : order < 0);
}

uint32_t Extract(const Descriptor& d, const uint8_t* record, uint32_t length, uint8_t* out) {
  uint32_t n = 0;
  for (const ExtractedField& f : d.fields) {
    const uint32_t take = f.offset + f.length > length ? length - f.offset : f.length;
    std::memcpy(out + n, record + f.offset, take);
    n += take;
    if (take < f.length) break;
  }
  return n;
}

uint32_t ExtractedLength(const Descriptor& d) {
  uint32_t n = 0;
  for (const ExtractedField& f : d.fields) n += f.length;
  return n;
}

}  // namespace recman
