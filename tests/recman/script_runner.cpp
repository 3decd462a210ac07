// Runs the record manager's call scripts, scripts/*.test: each script is a
// test of its own, on whichever backend the suite runs against. A line that
// fails names its file and line, the call, what was expected and what came;
// the script goes on with its next line.
//
// One line, one call:   BLOCK OP [ARG...] -> STATUS [EXPECT...]
//   BLOCK  a position block, named as the script likes; NAME@ID is one of
//          the client ID's (BTRCALLID). "-" stands for the process's own
//          client and @ID for the client ID: their calls pass no block.
//   OP     an operation by its name in btrieve.h without B_ (BEGIN, END and
//          ABORT for the transaction's), or its number, + biases: KEY,
//          SINGLE_NOWAIT, MULTIPLE_NOWAIT, or a number. WALK walks a key
//          (below).
//   ARG    k=KEY NUMBER (default 0); data=BYTES, the data buffer; key=BYTES,
//          the key buffer; len=N, the data length (by default the data's
//          for the calls that send data, and 4096 for the others); klen=N,
//          the key length (255); pb=BYTES, a position block of these bytes
//          in place of the block's own; data=, key=, len= or pb=null: none;
//          via=BTRV, the 16-bit entry point.
//          rec= makes the data a Create buffer, of rec=, page=, fflags=
//          and, for each key, ks=SEG+SEG... (ks=...*N: N keys alike), where
//          SEG is position:length[:type[:flags[:null byte[:manual key
//          number]]]], type zstr (when left out) str int lstr ubin auto or
//          a number, flags letters d(uplicates) m(odifiable) n(ull)
//          a(lternate collation) r(everse) M(anual) i(gnore case);
//          acs=upper|backward, a collating sequence after the keys.
//          ks= without rec= makes it the key alone (Create Index).
//   EXPECT data=BYTES, exactly what came back; head=BYTES, what it begins
//          with; key=BYTES, what the key buffer begins with; len=N;
//          pos=BYTES, the block's position after the call (Get Position);
//          records=N (a Stat's count); layout=BYTES (a Stat buffer, but
//          for its counts); save=NAME[@OFFSET[:LENGTH]], what came back, as
//          $NAME; savepos=NAME; savepb=NAME, the block.
// BYTES: "text" with the escapes \0 \n \\ \xNN ("x"*N repeats it), @N zeros
// up to N bytes from the start of the group, iBITS:N or uBITS:N
// little-endian (BITS 8, 16 or 32), $NAME saved bytes ($dir: the test's
// directory and a separator), (...) a group, L(...) a group after its 16-bit
// length, D(...) one after a 16-bit length that counts itself too; ","
// separates freely.
// WALK k=N -> a,b,c: Get First and Next on key N to status 9, giving the
// zero-terminated text at each record's start. Other lines: "# comment";
// "file NAME BYTES", a plain file in the directory; a prefix "sqlite:" or
// "server:" runs a line on that backend only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "reclink/btrieve.h"
#include "reclink/file_spec.h"
#include "call_script.h"
#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

constexpr uint32_t kBufferSize = 65536;
constexpr uint32_t kReadLength = 4096;  // what a call that sends no data offers

// The names a line writes numbers with: operations and biases as btrieve.h
// has them without B_ (a few shorter), key types, and key flags.
#define NAMED(name) {#name, B_##name}
const std::map<std::string, int, std::less<>> kNames = {
    NAMED(OPEN), NAMED(CLOSE), NAMED(INSERT), NAMED(UPDATE), NAMED(DELETE), NAMED(GET_EQUAL), NAMED(GET_NEXT),
    NAMED(GET_PREVIOUS), NAMED(GET_LESS), NAMED(GET_FIRST), NAMED(GET_LAST), NAMED(CREATE), NAMED(STAT),
    NAMED(GET_POSITION), NAMED(GET_DIRECT), NAMED(STEP_NEXT), NAMED(STOP), NAMED(VERSION), NAMED(UNLOCK),
    NAMED(RESET), NAMED(STEP_FIRST), NAMED(GET_NEXT_EXTENDED), NAMED(GET_PREV_EXTENDED), NAMED(STEP_NEXT_EXTENDED),
    NAMED(STEP_PREV_EXTENDED), NAMED(INSERT_EXTENDED), NAMED(SET_OWNER), NAMED(CLEAR_OWNER), NAMED(CREATE_INDEX),
    NAMED(DROP_INDEX), NAMED(CONTINUOUS), NAMED(GET_BY_PERCENTAGE), NAMED(FIND_PERCENTAGE), NAMED(BEGIN_CONCURRENT),
    {"BEGIN", B_BEGIN_TRAN}, {"END", B_END_TRAN}, {"ABORT", B_ABORT_TRAN}, {"KEY", B_GET_KEY},
    {"SINGLE_NOWAIT", B_SINGLE_NOWAIT_LOCK}, {"MULTIPLE_NOWAIT", B_MULTIPLE_NOWAIT_LOCK},
    {"str", B_TYPE_STRING}, {"int", B_TYPE_INTEGER}, {"lstr", B_TYPE_LSTRING}, {"zstr", B_TYPE_ZSTRING},
    {"ubin", B_TYPE_UNSIGNED_BINARY}, {"auto", B_TYPE_AUTOINCREMENT}, {"d", B_KEY_DUPLICATES},
    {"m", B_KEY_MODIFIABLE}, {"n", B_KEY_NULL}, {"a", B_KEY_ALT_COLLATION}, {"r", B_KEY_DESCENDING},
    {"M", B_KEY_MANUAL}, {"i", B_KEY_CASE_INSENSITIVE}};
#undef NAMED

// The operations that send their data buffer: the length passed is the
// data's unless the line gives one. Every other call offers kReadLength.
const std::set<int> kSendsData = {B_OPEN, B_INSERT, B_UPDATE, B_CREATE, B_INSERT_EXTENDED, B_SET_OWNER,
                                  B_CONTINUOUS, B_CREATE_INDEX};

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A number (0x for hexadecimal), or one that kNames names.
long Value(const std::string& word) {
  if (const auto it = kNames.find(word); it != kNames.end()) return it->second;
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 0);
  if (word.empty() || *end != '\0') throw ScriptError("not a number or a known name: '" + word + "'");
  return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) out.push_back(part);
  return out;
}

// Bytes as a script writes them: printable characters as they are, others
// as \xNN, three or more trailing zeros as @N.
std::string Show(const std::string& bytes) {
  size_t shown = bytes.find_last_not_of('\0') + 1;  // 0 when all are zeros
  if (bytes.size() - shown < 3) shown = bytes.size();
  std::string out = "\"";
  for (unsigned char c : bytes.substr(0, shown)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c >= 32 && c < 127 && c != '"' && c != '\\' ? "%c" : c ? "\\x%02x" : "\\0", c);
    out += hex;
  }
  return out + '"' + (shown < bytes.size() ? "@" + std::to_string(bytes.size()) : "");
}

// Adds to failures what differs: "what: expected WANT, got CAME".
void Expect(std::string& failures, const std::string& what, const std::string& want, const std::string& came) {
  if (came != want) failures += "\n  " + what + ": expected " + want + ", got " + came;
}

void PutLE(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// ks=SEG+SEG...: one key.
recman::KeySpec KeyNamed(const std::string& text) {
  recman::KeySpec key;
  for (const std::string& one : Split(text, '+')) {
    std::vector<std::string> part = Split(one, ':');
    if (part.size() < 2) throw ScriptError("a segment is position:length[:type[:flags[:null[:number]]]]: " + one);
    part.resize(6);
    recman::SegmentSpec s;
    s.position = static_cast<uint16_t>(Value(part[0]));
    s.length = static_cast<uint16_t>(Value(part[1]));
    s.type = static_cast<uint8_t>(Value(part[2].empty() ? "zstr" : part[2]));
    for (char letter : part[3]) s.flags |= static_cast<uint16_t>(Value(std::string(1, letter)));
    if (!part[4].empty()) s.nullValue = static_cast<uint8_t>(Value(part[4]));
    if (!part[5].empty()) s.manualKeyNumber = static_cast<uint8_t>(Value(part[5]));
    key.segments.push_back(s);
  }
  return key;
}

// A collating sequence: "upper" folds ASCII letters to upper case,
// "backward" reverses the byte order.
std::string Collation(const std::string& name) {
  if (name != "upper" && name != "backward") throw ScriptError("no collating sequence " + name);
  BtrAltCollation acs{};
  acs.signature = B_ACS_SIGNATURE;
  std::memcpy(acs.name, name == "backward" ? "BACKWARD" : "UPPER   ", 8);
  for (int c = 0; c < 256; ++c) {
    acs.table[c] = static_cast<uint8_t>(name == "backward" ? 255 - c : (c >= 'a' && c <= 'z' ? c - 32 : c));
  }
  return std::string(reinterpret_cast<const char*>(&acs), sizeof acs);
}

// A line's NAME=VALUE words, in their order.
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs NameValues(std::vector<std::string>::const_iterator word, std::vector<std::string>::const_iterator end) {
  Pairs out;
  for (; word != end; ++word) {
    const size_t eq = word->find('=');
    if (eq == std::string::npos) throw ScriptError("not NAME=VALUE: " + *word);
    out.emplace_back(word->substr(0, eq), word->substr(eq + 1));
  }
  return out;
}

// The last value given to name, or otherwise.
std::string Arg(const Pairs& args, const std::string& name, const std::string& otherwise = {}) {
  for (auto it = args.rbegin(); it != args.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return otherwise;
}

// The buffer of a Create, or without rec= the key of a Create Index.
std::string CreateBuffer(const Pairs& args) {
  recman::FileSpec file;
  file.recordLength = static_cast<uint16_t>(Value(Arg(args, "rec", "0")));
  file.pageSize = static_cast<uint16_t>(Value(Arg(args, "page", "4096")));
  file.fileFlags = static_cast<uint16_t>(Value(Arg(args, "fflags", "0")));
  for (const auto& [name, text] : args) {
    if (name != "ks") continue;
    const size_t star = text.find('*');
    file.keys.resize(file.keys.size() + (star == std::string::npos ? 1 : Value(text.substr(star + 1))),
                     KeyNamed(text.substr(0, star)));
  }
  if (!Arg(args, "acs").empty()) file.collations = Collation(Arg(args, "acs"));
  const std::vector<uint8_t> bytes = recman::EncodeFileSpec(file);
  return std::string(bytes.begin() + (Arg(args, "rec").empty() ? sizeof(BtrFileSpec) : 0), bytes.end());
}

// What a Stat buffer tells: "records", its record count; "layout", the
// buffer without its counts (records and each segment's unique values).
std::string StatPart(const std::string& bytes, const std::string& part) {
  recman::FileSpec file;
  if (recman::DecodeFileSpec(bytes.data(), static_cast<uint32_t>(bytes.size()), &file) != 0) {
    throw ScriptError("not a Stat buffer: " + Show(bytes));
  }
  if (part == "records") return std::to_string(file.records);
  for (recman::KeySpec& key : file.keys) {
    for (recman::SegmentSpec& s : key.segments) s.uniqueValues = 0;
  }
  file.records = 0;
  const std::vector<uint8_t> layout = recman::EncodeFileSpec(file);
  return Show(std::string(layout.begin(), layout.end()));
}

// The words of a line: spaces outside quotes divide them.
std::vector<std::string> Words(const std::string& line) {
  if (std::count(line.begin(), line.end(), '"') % 2 != 0) throw ScriptError("an unclosed quote");
  static const std::regex kWord(R"((?:"[^"]*"|[^\s"])+)");
  return {std::sregex_token_iterator(line.begin(), line.end(), kWord), std::sregex_token_iterator()};
}

// The bytes of "text": \0, \n and \xNN stand for theirs, \ before any other
// character for that character.
std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    char c = text[at];
    if (c == '\\' && text[++at] == 'x') {
      c = static_cast<char>(Value("0x" + text.substr(at + 1, 2)));
      at += 2;
    } else if (c == '\\') {
      c = text[at] == '0' ? '\0' : text[at] == 'n' ? '\n' : text[at];
    }
    out += c;
  }
  return out;
}

// A position block with its buffers, and the client it calls for.
struct Block {
  std::string pos = std::string(B_POSITION_BLOCK_SIZE, '\0');
  std::string data = std::string(kBufferSize, '\0');
  std::string key = std::string(256, '\0');
  uint8_t keyLength = 255;
  char client[16] = {};  // all zeros: the process's own (BTRCALL)
  bool none = false;     // a client alone: its calls pass no block
};

class Script {
 public:
  Script(std::string name, const TempDir& dir) : name_(std::move(name)) { saved_["dir"] = dir.dir(); }
  ~Script() {
    // Every client lets go of its files before the directory goes.
    for (auto& [name, block] : blocks_) {
      if (block.client[0] != 0) BTRCALLID(B_RESET, nullptr, nullptr, nullptr, nullptr, 0, 0, block.client);
    }
    BTRCALL(B_RESET, nullptr, nullptr, nullptr, nullptr, 0, 0);
  }

  void Run(std::istream& in) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t start = line.find_first_not_of(" \t");
      if (start == std::string::npos || line[start] == '#') continue;
      try {
        const std::string failures = RunLine(Words(line));
        if (!failures.empty()) ADD_FAILURE() << name_ << ":" << number << ": " << line << failures;
      } catch (const ScriptError& e) {
        ADD_FAILURE() << name_ << ":" << number << ": " << line << "\n  cannot be read: " << e.what();
      }
    }
  }

 private:
  // BYTES as the notation at the top of this file has them, a token at a
  // time: each group open collects its bytes until its ')'.
  std::string Bytes(const std::string& text) const {
    static const std::regex kToken(R"re(,|"([^"]*)"(?:\*(\d+))?|([LD]?)\(|\)|@(\w+)|\$(\w+)|[iu](8|16|32):(-?\w+))re");
    std::vector<std::pair<std::string, std::string>> groups(1);  // each open group's kind and bytes
    std::smatch m;
    for (auto at = text.cbegin(); at != text.cend(); at = m[0].second) {
      if (!std::regex_search(at, text.cend(), m, kToken, std::regex_constants::match_continuous)) {
        throw ScriptError("unexpected '" + std::string(at, text.cend()) + "' in " + text);
      }
      std::string& out = groups.back().second;
      if (m[1].matched) {
        for (long n = m[2].matched ? Value(m[2].str()) : 1; n > 0; --n) out += Unescaped(m[1].str());
      } else if (m[0] == ")") {
        if (groups.size() == 1) throw ScriptError("unexpected ')' in " + text);
        const auto [kind, inner] = groups.back();
        groups.pop_back();
        if (!kind.empty()) PutLE(groups.back().second, inner.size() + (kind == "D" ? 2 : 0), 2);
        groups.back().second += inner;
      } else if (m[0].str().back() == '(') {
        groups.emplace_back(m[3].str(), "");
      } else if (m[4].matched) {
        if (out.size() > static_cast<size_t>(Value(m[4].str()))) throw ScriptError("bytes run past " + m[0].str());
        out.resize(Value(m[4].str()), '\0');
      } else if (m[5].matched) {
        const auto it = saved_.find(m[5].str());
        if (it == saved_.end()) throw ScriptError("nothing saved as " + m[0].str());
        out += it->second;
      } else if (m[6].matched) {
        PutLE(out, static_cast<uint64_t>(Value(m[7].str())), static_cast<int>(Value(m[6].str()) / 8));
      }
    }
    if (groups.size() != 1) throw ScriptError("an unclosed group in " + text);
    return groups[0].second;
  }

  // Runs one line; what failed, or nothing.
  std::string RunLine(std::vector<std::string> words) {
    if (words[0] == "sqlite:" || words[0] == "server:") {
      if ((words[0] == "server:") != OnServer()) return {};
      words.erase(words.begin());
    }
    if (!words.empty() && words[0] == "file") {  // file NAME BYTES: a plain file in the directory
      if (words.size() != 3) throw ScriptError("file NAME BYTES");
      std::ofstream(saved_["dir"] + words[1], std::ios::binary) << Bytes(words[2]);
      return {};
    }
    const auto arrow = std::find(words.cbegin(), words.cend(), "->");
    if (arrow == words.cend() || arrow - words.cbegin() < 2) {
      throw ScriptError("BLOCK OP [ARG...] -> STATUS [EXPECT...]");
    }
    Block& b = blocks_[words[0]];
    if (const size_t at = words[0].find('@'); at != std::string::npos) {
      words[0].copy(b.client, sizeof b.client, at + 1);
    }
    b.none = words[0] == "-" || words[0][0] == '@';
    const Pairs args = NameValues(words.cbegin() + 2, arrow);
    const std::vector<std::string> expect(arrow + 1, words.cend());
    if (words[1] == "WALK") return Walk(b, static_cast<int>(Value(Arg(args, "k", "0"))), expect);
    return Call(b, words[1], args, expect);
  }

  // One call through the entry point the block's client and via16 choose.
  static int Raw(Block& b, int op, void* pos, void* data, uint32_t* len, void* key, int keyNum, bool via16 = false) {
    const void* client = b.client[0] != 0 ? b.client : nullptr;
    const auto code = static_cast<uint16_t>(op);
    if (via16 && len != nullptr) {
      auto short16 = static_cast<uint16_t>(*len);
      const auto wide = static_cast<int16_t>(keyNum);
      const int st = client ? BTRVID(code, pos, data, &short16, key, wide, client)
                            : BTRV(code, pos, data, &short16, key, wide);
      *len = short16;
      return st;
    }
    const auto narrow = static_cast<int8_t>(keyNum);
    return client ? BTRCALLID(code, pos, data, len, key, b.keyLength, narrow, client)
                  : BTRCALL(code, pos, data, len, key, b.keyLength, narrow);
  }

  std::string Call(Block& b, const std::string& opWord, const Pairs& args, const std::vector<std::string>& expect) {
    int op = 0;
    for (const std::string& part : Split(opWord, '+')) op += static_cast<int>(Value(part));
    auto given = [&](const char* name) { return !Arg(args, name).empty() && Arg(args, name) != "null"; };
    auto null = [&](const char* name) { return Arg(args, name) == "null"; };
    std::string sent;
    if (given("rec") || given("ks")) {
      sent = CreateBuffer(args);
    } else if (given("data")) {
      sent = Bytes(Arg(args, "data"));
    }
    b.data.replace(0, sent.size(), sent);
    if (given("key")) {
      b.key = Bytes(Arg(args, "key"));
      b.key.resize(256);
    }
    uint32_t len = given("len")                  ? static_cast<uint32_t>(Value(Arg(args, "len")))
                   : kSendsData.count(op % 100) ? static_cast<uint32_t>(sent.size())
                                                : kReadLength;
    b.keyLength = static_cast<uint8_t>(Value(Arg(args, "klen", "255")));
    std::string pb = given("pb") ? Bytes(Arg(args, "pb")) : "";
    pb.resize(B_POSITION_BLOCK_SIZE);
    char* pos = b.none || null("pb") ? nullptr : given("pb") ? pb.data() : b.pos.data();
    const int status = Raw(b, op, pos, null("data") ? nullptr : b.data.data(), null("len") ? nullptr : &len,
                           null("key") ? nullptr : b.key.data(), static_cast<int>(Value(Arg(args, "k", "0"))),
                           Arg(args, "via") == "BTRV");
    return Check(b, status, b.data.substr(0, len), len, expect);
  }

  // The expectations after "->": the status, then EXPECTs as the notation
  // at the top of this file has them, in their order.
  std::string Check(Block& b, int status, const std::string& got, uint32_t len,
                    const std::vector<std::string>& expect) {
    if (expect.empty()) throw ScriptError("no status after ->");
    std::string failures;
    Expect(failures, "status", std::to_string(Value(expect[0])), std::to_string(status));
    for (const auto& [name, value] : NameValues(expect.begin() + 1, expect.end())) {
      if (name == "data") {
        Expect(failures, "data", Show(Bytes(value)), Show(got));
      } else if (name == "head" || name == "key" || name == "pos") {
        const std::string want = Bytes(value);
        const std::string came = name == "head" ? got : name == "key" ? b.key : Position(b, failures);
        Expect(failures, name, Show(want), Show(came.substr(0, want.size())));
      } else if (name == "len") {
        Expect(failures, "length", std::to_string(Value(value)), std::to_string(len));
      } else if (name == "records") {
        Expect(failures, name, value, StatPart(got, name));
      } else if (name == "layout") {
        Expect(failures, "file and keys", StatPart(Bytes(value), name), StatPart(got, name));
      } else if (name == "save") {  // NAME[@OFFSET[:LENGTH]]
        const size_t at = value.find('@');
        const std::vector<std::string> range = Split(at == std::string::npos ? "0" : value.substr(at + 1), ':');
        const auto offset = std::min(static_cast<size_t>(Value(range[0])), got.size());
        const size_t length = range.size() > 1 ? static_cast<size_t>(Value(range[1])) : std::string::npos;
        saved_[value.substr(0, at)] = got.substr(offset, length);
      } else if (name == "savepos") {
        saved_[value] = Position(b, failures);
      } else if (name == "savepb") {
        saved_[value] = b.pos;
      } else {
        throw ScriptError("no expectation " + name);
      }
    }
    return failures;
  }

  // The block's position, by Get Position.
  static std::string Position(Block& b, std::string& failures) {
    uint32_t four = 4;
    const int status = Raw(b, B_GET_POSITION, b.pos.data(), b.data.data(), &four, b.key.data(), 0);
    Expect(failures, "Get Position", "0", std::to_string(status));
    return b.data.substr(0, 4);
  }

  // WALK: Get First and Next on the key to the end; the zero-terminated
  // names at offset 0 of the records.
  static std::string Walk(Block& b, int keyNum, const std::vector<std::string>& expect) {
    b.keyLength = 255;
    std::string names;
    uint32_t len = kReadLength;
    int st = Raw(b, B_GET_FIRST, b.pos.data(), b.data.data(), &len, b.key.data(), keyNum);
    for (; st == 0; st = Raw(b, B_GET_NEXT, b.pos.data(), b.data.data(), &len, b.key.data(), keyNum)) {
      names += (names.empty() ? "" : ",") + std::string(b.data.c_str());
      len = kReadLength;
    }
    std::string failures;
    Expect(failures, "status at the walk's end", "9", std::to_string(st));
    Expect(failures, "walked", expect.empty() ? "(nothing)" : expect[0], names.empty() ? "(nothing)" : names);
    return failures;
  }

  std::string name_;
  std::map<std::string, Block> blocks_;
  std::map<std::string, std::string> saved_;  // $name
};

class CallScript : public ::testing::TestWithParam<std::string> {};

TEST_P(CallScript, Runs) { RunCallScript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Scripts, CallScript, ::testing::Values(RECMAN_SCRIPTS),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace

void RunCallScript(const std::string& name) {
  const std::string path = std::string(RECMAN_SCRIPT_DIR) + "/" + name + ".test";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "cannot read the script " << path;
  TempDir dir;
  Script(name + ".test", dir).Run(in);
}

}  // namespace reclink::test
