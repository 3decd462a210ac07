// stat: a record file's specification and counts in the classic shape.
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/btr_file.h"
#include "cli/collating_sequence.h"
#include "cli/description.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

// Segment flags as letters, in a fixed order; "-" when none is set.
std::string FlagLetters(uint16_t flags) {
  struct Letter {
    uint16_t flag;  // B_KEY_*
    char letter;    // shown for it
  };
  static const Letter kLetters[] = {
      {B_KEY_DUPLICATES, 'D'}, {B_KEY_MODIFIABLE, 'M'}, {B_KEY_NULL, 'N'},
      {B_KEY_MANUAL, 'A'},     {B_KEY_DESCENDING, 'S'}, {B_KEY_CASE_INSENSITIVE, 'I'},
      {B_KEY_ALT_COLLATION, 'C'},
  };
  std::string out;
  for (const Letter& l : kLetters) {
    if (flags & l.flag) out.push_back(l.letter);
  }
  return out.empty() ? "-" : out;
}

// The file flags in words: "variable length, compressed".
std::string FileFlagWords(const FileSpec& spec) {
  struct Word {
    uint16_t mask;   // the flags looked at
    uint16_t flags;  // their value for this word
    const char* word;
  };
  static const Word kWords[] = {
      {B_FILE_VARIABLE_LENGTH, B_FILE_VARIABLE_LENGTH, "variable length"},
      {B_FILE_PREALLOCATE, B_FILE_PREALLOCATE, "preallocated"},
      {B_FILE_COMPRESSED, B_FILE_COMPRESSED, "compressed"},
      {B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20, B_FILE_FREE_SPACE_10, "10% free space"},
      {B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20, B_FILE_FREE_SPACE_20, "20% free space"},
      {B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20, B_FILE_FREE_SPACE_10 | B_FILE_FREE_SPACE_20, "30% free space"},
  };
  std::string out;
  for (const Word& w : kWords) {
    if ((spec.fileFlags & w.mask) == w.flags) out += std::string(out.empty() ? "" : ", ") + w.word;
  }
  if (spec.fileFlags & B_FILE_DUPLICATE_POINTERS) {
    out += (out.empty() ? "" : ", ") + std::to_string(spec.duplicatePointers) + " duplicate pointers reserved";
  }
  return out;
}

// One line per collating sequence: its number, name and the keys it orders.
void PrintSequences(const FileSpec& spec, std::ostream& out) {
  std::vector<CollatingSequence> sequences;
  ReadDefinitions(spec.collations, &sequences);
  for (size_t n = 0; n < sequences.size(); ++n) {
    std::string keys;
    for (size_t k = 0; k < spec.keys.size(); ++k) {
      for (const SegmentSpec& s : spec.keys[k].segments) {
        if ((s.flags & B_KEY_ALT_COLLATION) && s.acsNumber == n) {
          keys += (keys.empty() ? ", key " : ", ") + std::to_string(k);
          break;
        }
      }
    }
    out << "Collating Sequence " << n << " = " << sequences[n].name << keys << "\n";
  }
}

std::string Hex(unsigned value, int width) {
  std::ostringstream s;
  s << "0x" << std::hex << std::setw(width) << std::setfill('0') << value;
  return s.str();
}

void PrintStat(const std::string& path, const FileSpec& spec, std::ostream& out) {
  out << "File = " << path << "\n"
      << "Record Length = " << spec.recordLength << "\n"
      << "Page Size = " << spec.pageSize << "\n"
      << "Number of Records = " << spec.records << "\n"
      << "Number of Keys = " << spec.keys.size() << "\n"
      << "Number of Segments = " << spec.SegmentCount() << "\n"
      << "File Flags = " << Hex(spec.fileFlags, 4)
      << (spec.fileFlags != 0 ? " (" + FileFlagWords(spec) + ")" : std::string()) << "\n"
      << "Unused Pages = " << spec.allocation << "\n";
  if (spec.fileVersion != 0) out << "File Version = " << int(spec.fileVersion) << "\n";
  PrintSequences(spec, out);
  if (spec.keys.empty()) return;
  out << "\n"
      << std::left << std::setw(5) << "Key" << std::setw(9) << "Segment" << std::setw(10)
      << "Position" << std::setw(8) << "Length" << std::setw(17) << "Type" << std::setw(7)
      << "Flags" << std::setw(6) << "Null" << "Unique Values\n";
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    const KeySpec& key = spec.keys[k];
    for (size_t i = 0; i < key.segments.size(); ++i) {
      const SegmentSpec& s = key.segments[i];
      const char* type = KeyTypeName(s.type);
      bool hasNull = s.flags & (B_KEY_NULL | B_KEY_MANUAL);
      out << std::left << std::setw(5) << k << std::setw(9) << (i + 1) << std::setw(10)
          << s.position << std::setw(8) << s.length << std::setw(17)
          << (type ? std::string(type) : "type " + std::to_string(s.type)) << std::setw(7)
          << FlagLetters(s.flags) << std::setw(6) << (hasNull ? Hex(s.nullValue, 2) : "--")
          << s.uniqueValues << "\n";
    }
  }
  out << "\nFlags: D duplicates, M modifiable, N null key (left out when all segments\n"
         "hold the null value), A null key (left out when any does), S descending,\n"
         "I case-insensitive, C compared by a collating sequence, - none.\n";
}

}  // namespace

int RunStat(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  BtrFile file;
  FileSpec spec;
  if (!OpenRecordFile(io, "stat", path, B_MODE_READ_ONLY, &file, &spec)) return kExitFailure;
  if (args.Has("--description")) {
    std::string text;
    std::string why;
    if (!FormatDescription(spec, &text, &why)) {
      return Failure(io, "stat", path + " " + why + "; clone makes an empty copy of it");
    }
    io.out << text;
  } else {
    PrintStat(path, spec, io.out);
  }
  return kExitOk;
}

}  // namespace reclink::cli
