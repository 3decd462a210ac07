// dump: the records of a file in key order, decoded as far as the utility
// knows their fields, as text, CSV or JSON.
#include <ostream>

#include "cli/btr_file.h"
#include "cli/reasons.h"
#include "cli/record_fields.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

enum class Format { kText, kCsv, kJson };

std::string OtherText(const std::vector<ByteRun>& runs) {
  std::string out;
  for (const ByteRun& r : runs) {
    if (!out.empty()) out += ' ';
    out.append("@").append(std::to_string(r.offset)).append(" ").append(r.hex);
  }
  return out;
}

// prefix and the two lower-case hex digits of c.
std::string Escape(const char* prefix, unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  return std::string(prefix) + kDigits[c >> 4] + kDigits[c & 15];
}

// Control characters shown as \xNN, so one field stays on one line.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      out += Escape("\\x", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += Escape("\\u00", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void WriteRecord(std::ostream& out, Format format, uint64_t number,
                 const std::vector<FieldDef>& fields, const std::string& record) {
  std::vector<FieldValue> values = DecodeFields(fields, record);
  std::vector<ByteRun> other = OtherBytes(fields, record);
  switch (format) {
    case Format::kText:
      out << "record " << number << "\n";
      for (const FieldValue& v : values) out << "  " << v.def->name << ": " << Printable(v.text) << "\n";
      if (!other.empty()) out << "  other bytes: " << OtherText(other) << "\n";
      break;
    case Format::kCsv:
      out << number;
      for (const FieldValue& v : values) out << "," << CsvCell(v.text);
      out << "," << CsvCell(OtherText(other)) << "\r\n";
      break;
    case Format::kJson:
      out << (number == 1 ? "\n" : ",\n") << "  {\"record\": " << number;
      for (const FieldValue& v : values) {
        out << ", " << JsonString(v.def->name) << ": "
            << (v.number ? v.text : JsonString(v.text));
      }
      out << ", \"other bytes\": [";
      for (size_t i = 0; i < other.size(); ++i) {
        out << (i ? ", " : "") << "{\"offset\": " << other[i].offset << ", \"hex\": \""
            << other[i].hex << "\"}";
      }
      out << "]}";
      break;
  }
}

}  // namespace

int RunDump(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  Format format = Format::kText;
  std::string name = args.Value("--format", "text");
  if (name == "csv") {
    format = Format::kCsv;
  } else if (name == "json") {
    format = Format::kJson;
  } else if (name != "text") {
    io.err << "reclink dump: --format is text, csv or json\n";
    return kExitUsage;
  }
  int key = 0;
  if (!KeyOption(args, io, "dump", 0, &key)) return kExitUsage;

  BtrFile file;
  FileSpec spec;
  if (!OpenRecordFile(io, "dump", path, B_MODE_READ_ONLY, &file, &spec)) return kExitFailure;
  if (key >= static_cast<int>(spec.keys.size())) {
    if (args.Has("--key") || !spec.keys.empty()) {
      return Failure(io, "dump", path + " has no key " + std::to_string(key));
    }
    key = -1;  // a file without keys is dumped in physical order
  }
  std::vector<FieldDef> fields = FieldsOf(path, spec);

  if (format == Format::kCsv) {
    io.out << "record";
    for (const FieldDef& f : fields) io.out << "," << CsvCell(f.name);
    io.out << ",other bytes\r\n";
  } else if (format == Format::kJson) {
    io.out << "[";
  }
  uint64_t count = 0;
  std::string record;
  int status = file.First(key, &record);
  for (; status == 0; status = file.Next(key, &record)) {
    WriteRecord(io.out, format, ++count, fields, record);
  }
  if (format == Format::kJson) io.out << (count ? "\n]\n" : "]\n");
  if (status != B_END_OF_FILE) {
    return Failure(io, "dump", "cannot read " + path + " after " + std::to_string(count) +
                                   " records: " + StatusText(status));
  }
  if (format == Format::kText) {
    io.out << count << " records of " << path << " in the order of ";
    if (key < 0) {
      io.out << "their position\n";
    } else {
      io.out << "key " << key << "\n";
    }
  }
  return kExitOk;
}

}  // namespace reclink::cli
