#include "cli/description.h"

#include <cctype>
#include <map>
#include <sstream>
#include <strings.h>
#include <vector>

#include "cli/args.h"
#include "cli/collating_sequence.h"
#include "cli/reasons.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {

namespace {

constexpr long kMaxField = 65535;  // the widest number of a Create buffer has 16 bits
constexpr long kMaxKeys = 255;     // the number of keys has 8
constexpr long kMaxByte = 255;     // so has the number of duplicate pointers

// File elements that set file flags, and the flags each sets when y.
struct FlagElement {
  const char* name;  // the element
  uint16_t flag;     // B_FILE_*, or the blank truncation flag
};
constexpr uint16_t kBlankTruncation = 0x0002;  // not among the engine's: Create gives its verdict
constexpr FlagElement kFlagElements[] = {
    {"variable", B_FILE_VARIABLE_LENGTH},
    {"truncate", kBlankTruncation},
    {"compress", B_FILE_COMPRESSED},
    {"preallocate", B_FILE_PREALLOCATE},
};
// freespace= in percent, and its flags.
struct FreeSpace {
  const char* percent;
  uint16_t flags;
};
constexpr FreeSpace kFreeSpace[] = {
    {"0", 0},
    {"10", B_FILE_FREE_SPACE_10},
    {"20", B_FILE_FREE_SPACE_20},
    {"30", B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20},
};
constexpr uint16_t kFreeSpaceFlags = B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20;

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

// A collating sequence while its elements are being read.
struct PendingSequence {
  CollatingSequence sequence;  // name, and table once table= is read
  int line = 0;                // of its sequence=
  bool hasTable = false;       // table= was given
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
  Parser(const TableReader& readTable, Description* out, DescriptionError* error)
      : readTable_(readTable), out_(out), error_(error) {}

  bool Run(const std::vector<Element>& elements, int lastLine) {
    out_->spec.pageSize = 4096;
    for (const Element& e : elements) {
      if (e.name == "position") {
        if (!BeginSegment(e)) return false;
      } else if (segment_) {
        if (!SegmentElement(e)) return false;
      } else if (e.name == "sequence" || e.name == "table") {
        if (!SequenceElement(e)) return false;
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
    for (const PendingSequence& p : sequences_) {
      if (!p.hasTable) return Fail(error_, p.line, "table", "is missing from sequence=" + p.sequence.name);
      out_->spec.collations += Definition(p.sequence);
    }
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
    } else if (const FlagElement* f = FlagElementNamed(e.name)) {
      if (!YesNo(e.value, &yes)) return Bad(e, "must be y or n");
      if (yes) spec.fileFlags |= f->flag;
    } else if (e.name == "freespace") {
      const FreeSpace* free = nullptr;
      for (const FreeSpace& row : kFreeSpace) {
        if (e.value == row.percent) free = &row;
      }
      if (!free) return Bad(e, "must be 0, 10, 20 or 30 (percent)");
      spec.fileFlags |= free->flags;
    } else if (e.name == "duplicatepointers") {
      if (!Field(e, kMaxByte, &n)) return false;
      spec.duplicatePointers = static_cast<uint8_t>(n);
      spec.fileFlags |= B_FILE_DUPLICATE_POINTERS;
    } else if (IsSegmentElement(e.name)) {
      return Fail(error_, e.line, e.name, "comes before the first position=");
    } else {
      return Fail(error_, e.line, e.name, "is not an element of a description");
    }
    fileLines_[e.name] = e.line;
    return true;
  }

  static const FlagElement* FlagElementNamed(const std::string& name) {
    for (const FlagElement& f : kFlagElements) {
      if (name == f.name) return &f;
    }
    return nullptr;
  }

  static bool IsFileElement(const std::string& name) {
    static const char* const kNames[] = {"record",    "key",      "page",  "allocation", "replace",
                                         "freespace", "duplicatepointers", "sequence", "table"};
    for (const char* n : kNames) {
      if (name == n) return true;
    }
    return FlagElementNamed(name) != nullptr;
  }

  // sequence=NAME begins a collating sequence; its table= follows.
  bool SequenceElement(const Element& e) {
    if (e.name == "table") {
      if (sequences_.empty()) return Fail(error_, e.line, e.name, "comes before the first sequence=");
      PendingSequence& p = sequences_.back();
      if (p.hasTable) return Fail(error_, e.line, e.name, "is given twice for sequence=" + p.sequence.name);
      std::string why;
      if (!TableFromValue(e.value, readTable_, &p.sequence.table, &why)) return Fail(error_, e.line, e.name, why);
      p.hasTable = true;
      return true;
    }
    if (!WritableName(e.value)) {
      return Bad(e, "is no name of a collating sequence: 1 to 8 characters, not n or no");
    }
    for (const PendingSequence& p : sequences_) {
      if (p.sequence.name == e.value) {
        return Fail(error_, e.line, e.name, "'" + e.value + "' is defined twice (first on line " +
                                                std::to_string(p.line) + ")");
      }
    }
    PendingSequence p;
    p.sequence.name = e.value;
    p.line = e.line;
    sequences_.push_back(std::move(p));
    return true;
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
      const bool none = YesNo(e.value, &yes) && !yes;
      size_t n = 0;
      while (!none && n < sequences_.size() && sequences_[n].sequence.name != e.value) ++n;
      if (!none && n == sequences_.size()) return Bad(e, "names no sequence= of the description (n: none)");
      if (!none) {
        s.flags |= B_KEY_ALT_COLLATION;
        s.acsNumber = static_cast<uint8_t>(n);
      }
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
    // Every segment the utility describes carries its type as an extended type.
    s.flags |= B_KEY_EXTENDED_TYPE;
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
    int status = Verdict(spec);
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
    // A file flag the record manager refuses, named by its element.
    FileSpec fileOnly = spec;
    fileOnly.keys.clear();
    fileOnly.collations.clear();
    if (Verdict(fileOnly) != B_NO_ERROR) {
      for (const auto& [name, line] : fileLines_) {
        FileSpec one = fileOnly;
        one.fileFlags = static_cast<uint16_t>(spec.fileFlags & FlagsOf(name));
        if (one.fileFlags != 0 && Verdict(one) != B_NO_ERROR) return Fail(error_, line, name, refused);
      }
      return Fail(error_, fileLines_["record"], "record", refused);
    }
    FileSpec prefix = spec;
    for (size_t k = 0; k < spec.keys.size(); ++k) {
      prefix.keys.assign(spec.keys.begin(), spec.keys.begin() + static_cast<long>(k) + 1);
      if ((status = Verdict(prefix)) != B_NO_ERROR) {
        return Fail(error_, keyLines_[k], "position",
                    "begins key " + std::to_string(k) + ", which the record manager refuses: " +
                        StatusText(status));
      }
    }
    return Fail(error_, fileLines_["key"], "key", refused);
  }

  // The status Create would give for spec.
  static int Verdict(const FileSpec& spec) {
    const std::vector<uint8_t> buffer = recman::EncodeFileSpec(spec);
    return BtrCheckCreateBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  }

  // The file flags that the file element name may set.
  static uint16_t FlagsOf(const std::string& name) {
    if (const FlagElement* f = FlagElementNamed(name)) return f->flag;
    if (name == "freespace") return kFreeSpaceFlags;
    if (name == "duplicatepointers") return B_FILE_DUPLICATE_POINTERS;
    return 0;
  }

  // Reads e's value as a number that fits its field of the Create buffer;
  // whether the record manager takes it is for RecordManagerAccepts.
  bool Field(const Element& e, long max, long* n) {
    return ParseCount(e.value, max, n) || Bad(e, "must be a number from 0 to " + std::to_string(max));
  }

  bool Bad(const Element& e, const std::string& why) {
    return Fail(error_, e.line, e.name, "'" + e.value + "' " + why);
  }

  bool Twice(const Element& e, int firstLine) {
    return Fail(error_, e.line, e.name, "is given twice (first on line " + std::to_string(firstLine) + ")");
  }

  const TableReader& readTable_;       // reads the table files that table= names
  Description* out_;                   // the result being built
  DescriptionError* error_;            // where the first mistake goes
  std::map<std::string, int> fileLines_;  // file element -> line
  long keyCount_ = 0;                  // key=
  bool segment_ = false;               // a segment is open
  PendingSegment pending_;             // the open segment
  KeySpec key_;                        // segments of the key being built
  int lastSegmentLine_ = 0;            // line of the last segment's segment= (or position=)
  std::vector<int> keyLines_;          // line of each key's first position=
  std::vector<PendingSequence> sequences_;  // sequence= elements, in order
};

const char* Yn(bool b) { return b ? "y" : "n"; }

}  // namespace

std::string DescriptionError::ToString() const {
  return "line " + std::to_string(line) + ": " + element + " " + message;
}

bool ParseDescription(const std::string& text, const TableReader& readTable, Description* out,
                      DescriptionError* error) {
  *out = Description();
  *error = DescriptionError();
  std::vector<Element> elements;
  int lastLine = 1;
  if (!Tokenize(text, &elements, &lastLine, error)) return false;
  return Parser(readTable, out, error).Run(elements, lastLine);
}

bool FormatDescription(const FileSpec& spec, std::string* text, std::string* why) {
  std::ostringstream out;
  out << "record=" << spec.recordLength << " key=" << spec.keys.size() << " page=" << spec.pageSize;
  uint16_t said = kFreeSpaceFlags | B_FILE_DUPLICATE_POINTERS;  // the file flags a description holds
  for (const FlagElement& f : kFlagElements) {
    if (spec.fileFlags & f.flag) out << " " << f.name << "=y";
    said |= f.flag;
  }
  for (const FreeSpace& row : kFreeSpace) {
    if (row.flags != 0 && (spec.fileFlags & kFreeSpaceFlags) == row.flags) out << " freespace=" << row.percent;
  }
  if ((spec.fileFlags & B_FILE_DUPLICATE_POINTERS) || spec.duplicatePointers != 0) {
    out << " duplicatepointers=" << int(spec.duplicatePointers);
  }
  if (spec.fileFlags & ~said) {
    *why = "has file flags that a description cannot hold";
    return false;
  }
  out << "\n";

  std::vector<CollatingSequence> sequences;
  if (!ReadDefinitions(spec.collations, &sequences)) {
    *why = "has collating sequences that are not whole definitions";
    return false;
  }
  for (size_t n = 0; n < sequences.size(); ++n) {
    const std::string& name = sequences[n].name;
    for (size_t m = 0; m < n; ++m) {
      if (sequences[m].name == name) {
        *why = "has two collating sequences named '" + name + "', which a description cannot tell apart";
        return false;
      }
    }
    if (!WritableName(name)) {
      *why = "has a collating sequence named '" + name + "', which a description cannot hold";
      return false;
    }
    out << "sequence=" << name << " table=" << TableHex(sequences[n].table) << "\n";
  }

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
      if (s.flags & B_KEY_ALT_COLLATION) {
        if (s.acsNumber >= sequences.size()) {
          *why = "has a key that names a collating sequence the file lacks";
          return false;
        }
        out << " alternate=" << sequences[s.acsNumber].name;
      }
      out << " segment=" << Yn(i + 1 < key.segments.size()) << "\n";
    }
  }
  *text = out.str();
  return true;
}

}  // namespace reclink::cli
