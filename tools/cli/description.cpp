#include "cli/description.h"

#include <cctype>
#include <map>
#include <sstream>
#include <strings.h>
#include <vector>

#include "cli/reasons.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {

namespace {

constexpr long kMaxField = 65535;  // the widest number of a Create buffer has 16 bits
constexpr long kMaxKeys = 255;     // the number of keys has 8

// One name=value element and the line it stands on.
struct Element {
  std::string name;   // lower-cased
  std::string value;  // as written
  int line;           // 1-based
};

// How a segment's null value is used.
enum class NullMode { kNone, kAll, kAny };

// A segment while its elements are being read.
struct PendingSegment {
  SegmentSpec spec;                    // what has been read so far
  std::map<std::string, int> lines;    // element name -> line
  bool more = false;                   // segment=y: another segment follows
  bool caseInsensitive = false;        // caseinsensitive=y
  NullMode null = NullMode::kNone;     // nullkey= / null=
};

bool Fail(DescriptionError* error, int line, const std::string& name, const std::string& message) {
  error->line = line;
  error->element = name + "=";
  error->message = message;
  return false;
}

bool Tokenize(const std::string& text, std::vector<Element>* elements, int* lastLine,
              DescriptionError* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    size_t comment = line.find_first_of(";#");
    if (comment != std::string::npos) line.erase(comment);
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      size_t eq = word.find('=');
      if (eq == std::string::npos || eq == 0) {
        error->line = number;
        error->element = word;
        error->message = "expected name=value";
        return false;
      }
      Element e{word.substr(0, eq), word.substr(eq + 1), number};
      for (char& c : e.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (e.value.empty()) return Fail(error, number, e.name, "has no value");
      elements->push_back(e);
    }
  }
  *lastLine = number == 0 ? 1 : number;
  return true;
}

bool YesNo(const std::string& v, bool* out) {
  const char* yes[] = {"y", "yes"};
  const char* no[] = {"n", "no"};
  for (const char* y : yes) {
    if (strcasecmp(v.c_str(), y) == 0) return (*out = true, true);
  }
  for (const char* n : no) {
    if (strcasecmp(v.c_str(), n) == 0) return (*out = false, true);
  }
  return false;
}

bool Number(const std::string& v, long max, long* out) {
  if (v.empty() || v.size() > 9) return false;
  long n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > max) return false;
  *out = n;
  return true;
}

bool HexByte(std::string v, uint8_t* out) {
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v = v.substr(2);
  if (v.empty() || v.size() > 2) return false;
  unsigned n = 0;
  for (char c : v) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    n = n * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                           ? c - '0'
                                           : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  *out = static_cast<uint8_t>(n);
  return true;
}

// Reads the description element by element.
class Parser {
 public:
  Parser(Description* out, DescriptionError* error) : out_(out), error_(error) {}

  bool Run(const std::vector<Element>& elements, int lastLine) {
    out_->spec.pageSize = 4096;
    for (const Element& e : elements) {
      if (e.name == "position") {
        if (!BeginSegment(e)) return false;
      } else if (segment_) {
        if (!SegmentElement(e)) return false;
      } else if (!FileElement(e)) {
        return false;
      }
    }
    if (segment_ && !EndSegment()) return false;
    if (!key_.segments.empty()) {
      return Fail(error_, lastSegmentLine_, "segment",
                  "says another segment follows, but the description ends");
    }
    if (!fileLines_.count("record")) return Fail(error_, lastLine, "record", "is missing");
    if (!fileLines_.count("key")) return Fail(error_, lastLine, "key", "is missing");
    if (static_cast<long>(out_->spec.keys.size()) != keyCount_) {
      return Fail(error_, fileLines_["key"], "key",
                  "says " + std::to_string(keyCount_) + " keys, the description has " +
                      std::to_string(out_->spec.keys.size()));
    }
    return RecordManagerAccepts();
  }

 private:
  bool FileElement(const Element& e) {
    if (fileLines_.count(e.name)) return Twice(e, fileLines_[e.name]);
    long n = 0;
    bool yes = false;
    FileSpec& spec = out_->spec;
    if (e.name == "record" || e.name == "page" || e.name == "allocation") {
      if (!Field(e, kMaxField, &n)) return false;
      uint16_t& field = e.name == "record" ? spec.recordLength
                        : e.name == "page" ? spec.pageSize
                                           : spec.allocation;
      field = static_cast<uint16_t>(n);
    } else if (e.name == "key") {
      if (!Field(e, kMaxKeys, &n)) return false;
      keyCount_ = n;
    } else if (e.name == "replace") {
      if (!YesNo(e.value, &yes)) return Bad(e, "must be y or n");
      out_->replace = yes;
    } else if (e.name == "variable" || e.name == "truncate" || e.name == "compress") {
      if (!YesNo(e.value, &yes)) return Bad(e, "must be y or n");
      if (yes) return Bad(e, "is not supported: records have a fixed length");
    } else if (IsSegmentElement(e.name)) {
      return Fail(error_, e.line, e.name, "comes before the first position=");
    } else {
      return Fail(error_, e.line, e.name, "is not an element of a description");
    }
    fileLines_[e.name] = e.line;
    return true;
  }

  static bool IsFileElement(const std::string& name) {
    static const char* const kNames[] = {"record",   "key",      "page",    "allocation",
                                         "replace",  "variable", "truncate", "compress"};
    for (const char* n : kNames) {
      if (name == n) return true;
    }
    return false;
  }

  static bool IsSegmentElement(const std::string& name) {
    static const char* const kNames[] = {"length", "duplicates", "modifiable", "type",
                                         "descending", "segment", "nullkey", "null",
                                         "value", "caseinsensitive", "alternate"};
    for (const char* n : kNames) {
      if (name == n) return true;
    }
    return false;
  }

  bool BeginSegment(const Element& e) {
    if (segment_ && !EndSegment()) return false;
    pending_ = PendingSegment();
    segment_ = true;
    long n = 0;
    if (!Field(e, kMaxField, &n)) return false;
    pending_.spec.position = static_cast<uint16_t>(n);
    pending_.lines["position"] = e.line;
    return true;
  }

  bool SegmentElement(const Element& e) {
    if (pending_.lines.count(e.name)) return Twice(e, pending_.lines[e.name]);
    if ((e.name == "nullkey" && pending_.lines.count("null")) ||
        (e.name == "null" && pending_.lines.count("nullkey"))) {
      return Bad(e, "repeats the segment's null setting");
    }
    SegmentSpec& s = pending_.spec;
    long n = 0;
    bool yes = false;
    if (e.name == "length") {
      if (!Field(e, kMaxField, &n)) return false;
      s.length = static_cast<uint16_t>(n);
    } else if (e.name == "type") {
      if (!KeyTypeFromName(e.value, &s.type)) return Bad(e, "names no key type");
    } else if (e.name == "nullkey" || e.name == "null") {
      if (strcasecmp(e.value.c_str(), "allsegments") == 0) {
        pending_.null = NullMode::kAll;
      } else if (strcasecmp(e.value.c_str(), "anysegments") == 0) {
        pending_.null = NullMode::kAny;
      } else if (YesNo(e.value, &yes)) {
        pending_.null = yes ? NullMode::kAll : NullMode::kNone;
      } else {
        return Bad(e, "must be y, n, allsegments or anysegments");
      }
    } else if (e.name == "value") {
      if (!HexByte(e.value, &s.nullValue)) return Bad(e, "must be one byte in hexadecimal");
    } else if (e.name == "alternate") {
      if (!YesNo(e.value, &yes)) return Bad(e, "must be y or n");
      if (yes) return Bad(e, "is not supported: no alternate collating sequences");
    } else if (IsSegmentElement(e.name)) {
      if (!YesNo(e.value, &yes)) return Bad(e, "must be y or n");
      uint16_t flag = 0;
      if (e.name == "duplicates") flag = B_KEY_DUPLICATES;
      if (e.name == "modifiable") flag = B_KEY_MODIFIABLE;
      if (e.name == "descending") flag = B_KEY_DESCENDING;
      if (e.name == "caseinsensitive") flag = B_KEY_CASE_INSENSITIVE;
      if (e.name == "segment") pending_.more = yes;
      if (yes) s.flags |= flag;
    } else {
      return Fail(error_, e.line, e.name,
                  IsFileElement(e.name) ? "belongs before the first position="
                                        : "is not an element of a description");
    }
    pending_.lines[e.name] = e.line;
    return true;
  }

  bool EndSegment() {
    segment_ = false;
    PendingSegment& p = pending_;
    SegmentSpec& s = p.spec;
    int posLine = p.lines["position"];
    if (!p.lines.count("length")) return Fail(error_, posLine, "length", "is missing from the segment");
    if (p.null == NullMode::kAll) s.flags |= B_KEY_NULL;
    if (p.null == NullMode::kAny) s.flags |= B_KEY_MANUAL;
    if (p.null == NullMode::kNone && p.lines.count("value")) {
      return Fail(error_, p.lines["value"], "value", "is given for a segment without a null key");
    }
    if (key_.segments.empty()) keyLines_.push_back(posLine);
    key_.segments.push_back(s);
    lastSegmentLine_ = p.lines.count("segment") ? p.lines["segment"] : posLine;
    if (!p.more) {
      if (static_cast<long>(out_->spec.keys.size()) >= keyCount_) {
        return Fail(error_, posLine, "position",
                    "begins key " + std::to_string(out_->spec.keys.size()) + ", but key=" +
                        std::to_string(keyCount_) + " allows no more keys");
      }
      out_->spec.keys.push_back(key_);
      key_ = KeySpec();
    }
    return true;
  }

  // Whether the record manager would create the file. Its status names the
  // file element at fault or, for a key, the first key it refuses.
  bool RecordManagerAccepts() {
    const FileSpec& spec = out_->spec;
    std::string buffer = EncodeCreateBuffer(spec);
    int status = BtrCheckCreateBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (status == B_NO_ERROR) return true;
    const std::string refused = "is refused by the record manager: " + StatusText(status);
    struct FileStatus {
      int status;           // the status Create gives
      const char* element;  // the file element it concerns
    };
    static const FileStatus kFileStatuses[] = {
        {B_PAGE_SIZE_ERROR, "page"},
        {B_INVALID_RECORD_LENGTH, "record"},
        {B_NUMBER_OF_KEYS, "key"},
    };
    for (const FileStatus& f : kFileStatuses) {
      if (f.status != status) continue;
      std::string name = fileLines_.count(f.element) ? f.element : "record";
      return Fail(error_, fileLines_[name], name, refused);
    }
    FileSpec prefix = spec;
    for (size_t k = 0; k < spec.keys.size(); ++k) {
      prefix.keys.assign(spec.keys.begin(), spec.keys.begin() + static_cast<long>(k) + 1);
      buffer = EncodeCreateBuffer(prefix);
      status = BtrCheckCreateBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()));
      if (status != B_NO_ERROR) {
        return Fail(error_, keyLines_[k], "position",
                    "begins key " + std::to_string(k) + ", which the record manager refuses: " +
                        StatusText(status));
      }
    }
    return Fail(error_, fileLines_["key"], "key", refused);
  }

  // Reads e's value as a number that fits its field of the Create buffer;
  // whether the record manager takes it is for RecordManagerAccepts.
  bool Field(const Element& e, long max, long* n) {
    return Number(e.value, max, n) || Bad(e, "must be a number from 0 to " + std::to_string(max));
  }

  bool Bad(const Element& e, const std::string& why) {
    return Fail(error_, e.line, e.name, "'" + e.value + "' " + why);
  }

  bool Twice(const Element& e, int firstLine) {
    return Fail(error_, e.line, e.name, "is given twice (first on line " + std::to_string(firstLine) + ")");
  }

  Description* out_;                   // the result being built
  DescriptionError* error_;            // where the first mistake goes
  std::map<std::string, int> fileLines_;  // file element -> line
  long keyCount_ = 0;                  // key=
  bool segment_ = false;               // a segment is open
  PendingSegment pending_;             // the open segment
  KeySpec key_;                        // segments of the key being built
  int lastSegmentLine_ = 0;            // line of the last segment's segment= (or position=)
  std::vector<int> keyLines_;          // line of each key's first position=
};

const char* Yn(bool b) { return b ? "y" : "n"; }

}  // namespace

std::string DescriptionError::ToString() const {
  return "line " + std::to_string(line) + ": " + element + " " + message;
}

bool ParseDescription(const std::string& text, Description* out, DescriptionError* error) {
  *out = Description();
  *error = DescriptionError();
  std::vector<Element> elements;
  int lastLine = 1;
  if (!Tokenize(text, &elements, &lastLine, error)) return false;
  return Parser(out, error).Run(elements, lastLine);
}

std::string FormatDescription(const FileSpec& spec) {
  std::ostringstream out;
  out << "record=" << spec.recordLength << " key=" << spec.keys.size() << " page=" << spec.pageSize
      << "\n";
  for (const KeySpec& key : spec.keys) {
    for (size_t i = 0; i < key.segments.size(); ++i) {
      const SegmentSpec& s = key.segments[i];
      const char* type = KeyTypeName(s.type);
      out << "position=" << s.position << " length=" << s.length
          << " duplicates=" << Yn(s.flags & B_KEY_DUPLICATES)
          << " modifiable=" << Yn(s.flags & B_KEY_MODIFIABLE) << " type="
          << (type ? type : "string") << " descending=" << Yn(s.flags & B_KEY_DESCENDING)
          << " caseinsensitive=" << Yn(s.flags & B_KEY_CASE_INSENSITIVE);
      if (s.flags & (B_KEY_NULL | B_KEY_MANUAL)) {
        static const char kHex[] = "0123456789abcdef";
        out << " nullkey=" << ((s.flags & B_KEY_MANUAL) ? "anysegments" : "allsegments")
            << " value=" << kHex[s.nullValue >> 4] << kHex[s.nullValue & 15];
      } else {
        out << " nullkey=n";
      }
      out << " segment=" << Yn(i + 1 < key.segments.size()) << "\n";
    }
  }
  return out.str();
}

}  // namespace reclink::cli
