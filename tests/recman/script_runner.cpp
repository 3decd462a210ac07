// Runs the record manager's call scripts, scripts/*.test: each script is a
// test of its own, on whichever backend the suite runs against. A line that
// fails names its file and line, the call, what was expected and what came;
// the script goes on with its next line.
//
// One line, one call:   BLOCK OP [ARG...] -> STATUS [EXPECT...]
//   BLOCK  a position block, opened by the script's calls, named as the
//          script likes; NAME@ID is a block of the client ID (BTRCALLID),
//          @ID the client alone, "-" the process's own client alone.
//   OP     an operation by its name in btrieve.h without B_ (BEGIN, END and
//          ABORT for the transaction's), or its number, + biases: KEY,
//          SINGLE_WAIT, SINGLE_NOWAIT, MULTIPLE_WAIT, MULTIPLE_NOWAIT,
//          NO_RETRY, or a number. WALK and WALKBACK walk a key (below).
//   ARG    k=KEY NUMBER (default 0, 0x80 for 128); data=BYTES, the data
//          buffer; key=BYTES, the key buffer (key=null: none); len=N, the
//          data length (len=null: none; by default the data's length for
//          the calls that send data, and 4096 for the others); klen=N, the
//          key length (255); pb=BYTES, a position block of these bytes in
//          place of the block's own; via=BTRV, the 16-bit entry point.
//          Create and Create Index build their buffer from rec=, page=,
//          fflags= and, for each key, ks=SEG+SEG... (ks=...*N: N keys
//          alike), where SEG is position:length[:type[:flags[:null byte
//          [:manual key number]]]], type str int float lstr zstr ubin auto
//          or a number, flags letters d(uplicates) m(odifiable) b(inary)
//          n(ull) a(lternate collation) r(everse) M(anual) i(gnore case) or
//          0xNN; acs=upper|backward|bad, a collating sequence after the
//          keys; cut=N, bytes taken off the buffer's end.
//   EXPECT data=BYTES, exactly what came back; head=BYTES, what it begins
//          with; key=BYTES, what the key buffer begins with; len=N;
//          pos=BYTES, the block's position after the call (Get Position);
//          records=N, unique=N,N (a Stat's counts); layout=BYTES (a Stat
//          buffer, but for its counts); save=NAME[@OFFSET[:LENGTH]], what
//          came back, as $NAME; savepos=NAME; savepb=NAME, the block.
// BYTES: "text" with C escapes (\0 \xNN; "x"*N repeats it), @N zeros up
// to N bytes from the start of the group, i8:N i16:N i32:N u8: u16: u32:
// little-endian, $NAME saved bytes ($dir: the test's directory and a
// separator), (...) a group, L(...) a group after its 16-bit length, D(...)
// one after a 16-bit length that counts itself too; "," separates freely.
// WALK k=N -> a,b,c: Get First and Next on key N (WALKBACK: Last and
// Previous) to status 9, giving the zero-terminated text at each record's
// start. Other lines: "# comment"; "file NAME BYTES", a plain file in the
// directory; a prefix "sqlite:" or "server:" runs a line on that backend only.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
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

// The operations and biases by their names in btrieve.h without B_, and
// the few that the notation names shorter.
#define NAMED(name) {#name, B_##name}
const std::map<std::string, int, std::less<>> kNames = {
    NAMED(OPEN), NAMED(CLOSE), NAMED(INSERT), NAMED(UPDATE), NAMED(DELETE), NAMED(GET_EQUAL), NAMED(GET_NEXT),
    NAMED(GET_PREVIOUS), NAMED(GET_GREATER), NAMED(GET_GE), NAMED(GET_LESS), NAMED(GET_LE), NAMED(GET_FIRST),
    NAMED(GET_LAST), NAMED(CREATE), NAMED(STAT), NAMED(SET_DIRECTORY), NAMED(GET_DIRECTORY), NAMED(GET_POSITION),
    NAMED(GET_DIRECT), NAMED(STEP_NEXT), NAMED(STOP), NAMED(VERSION), NAMED(UNLOCK), NAMED(RESET),
    NAMED(STEP_FIRST), NAMED(STEP_LAST), NAMED(STEP_PREVIOUS), NAMED(GET_NEXT_EXTENDED), NAMED(GET_PREV_EXTENDED),
    NAMED(STEP_NEXT_EXTENDED), NAMED(STEP_PREV_EXTENDED), NAMED(INSERT_EXTENDED), NAMED(SET_OWNER),
    NAMED(CLEAR_OWNER), NAMED(CREATE_INDEX), NAMED(DROP_INDEX), NAMED(CONTINUOUS), NAMED(GET_BY_PERCENTAGE),
    NAMED(FIND_PERCENTAGE), NAMED(BEGIN_CONCURRENT), NAMED(NO_RETRY),
    {"BEGIN", B_BEGIN_TRAN}, {"END", B_END_TRAN}, {"ABORT", B_ABORT_TRAN}, {"KEY", B_GET_KEY},
    {"SINGLE_WAIT", B_SINGLE_WAIT_LOCK}, {"SINGLE_NOWAIT", B_SINGLE_NOWAIT_LOCK},
    {"MULTIPLE_WAIT", B_MULTIPLE_WAIT_LOCK}, {"MULTIPLE_NOWAIT", B_MULTIPLE_NOWAIT_LOCK}};
#undef NAMED

// The operations that send their data buffer: the length passed is the
// data's unless the line gives one. Every other call offers kReadLength.
const std::set<int> kSendsData = {B_OPEN, B_INSERT, B_UPDATE, B_CREATE, B_INSERT_EXTENDED, B_SET_OWNER,
                                  B_CONTINUOUS, B_CREATE_INDEX};
// The operations of a client rather than of a file: no position block.
const std::set<int> kClientWide = {B_BEGIN_TRAN, B_END_TRAN, B_ABORT_TRAN, B_STOP, B_VERSION, B_RESET};

const std::map<std::string, uint8_t, std::less<>> kKeyTypes = {{"str", B_TYPE_STRING}, {"int", B_TYPE_INTEGER},
    {"float", B_TYPE_FLOAT}, {"lstr", B_TYPE_LSTRING}, {"zstr", B_TYPE_ZSTRING},
    {"ubin", B_TYPE_UNSIGNED_BINARY}, {"auto", B_TYPE_AUTOINCREMENT}};
const std::map<char, uint16_t> kKeyFlags = {{'d', B_KEY_DUPLICATES}, {'m', B_KEY_MODIFIABLE},
    {'b', B_KEY_BINARY}, {'n', B_KEY_NULL}, {'a', B_KEY_ALT_COLLATION}, {'r', B_KEY_DESCENDING},
    {'M', B_KEY_MANUAL}, {'i', B_KEY_CASE_INSENSITIVE}};

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

long Number(const std::string& text) {
  size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw ScriptError("not a number: '" + text + "'");
  return value;
}

// Bytes as a script writes them: printable characters as they are, others
// as \xNN, trailing zeros as @N.
std::string Show(const std::string& bytes) {
  const size_t end = bytes.find_last_not_of('\0') + 1;  // 0 when all are zeros
  std::string out = "\"";
  for (unsigned char c : bytes.substr(0, end + (bytes.size() - end < 3 ? bytes.size() - end : 0))) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c >= 32 && c < 127 && c != '"' && c != '\\' ? "%c" : c ? "\\x%02x" : "\\0", c);
    out += hex;
  }
  out += '"';
  return bytes.size() - end < 3 ? out : out + "@" + std::to_string(bytes.size());
}

void PutLE(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint16_t FlagsNamed(const std::string& letters) {
  if (letters.rfind("0x", 0) == 0) return static_cast<uint16_t>(Number(letters));
  uint16_t out = 0;
  for (char c : letters) {
    const auto it = kKeyFlags.find(c);
    if (it == kKeyFlags.end()) throw ScriptError(std::string("no key flag '") + c + "'");
    out |= it->second;
  }
  return out;
}

// ks=SEG+SEG...: one key.
recman::KeySpec KeyNamed(const std::string& text) {
  recman::KeySpec key;
  std::stringstream segments(text);
  for (std::string one; std::getline(segments, one, '+');) {
    std::vector<std::string> part;
    std::stringstream fields(one);
    for (std::string f; std::getline(fields, f, ':');) part.push_back(f);
    if (part.size() < 2) throw ScriptError("a segment is position:length[:type[:flags[:null[:number]]]]: " + one);
    part.resize(6);
    recman::SegmentSpec s;
    s.position = static_cast<uint16_t>(Number(part[0]));
    s.length = static_cast<uint16_t>(Number(part[1]));
    const auto type = kKeyTypes.find(part[2].empty() ? "zstr" : part[2]);
    s.type = type != kKeyTypes.end() ? type->second : static_cast<uint8_t>(Number(part[2]));
    if (!part[3].empty()) s.flags = FlagsNamed(part[3]);
    if (!part[4].empty()) s.nullValue = static_cast<uint8_t>(Number(part[4]));
    if (!part[5].empty()) s.manualKeyNumber = static_cast<uint8_t>(Number(part[5]));
    key.segments.push_back(s);
  }
  return key;
}

// A collating sequence: "upper" folds ASCII letters to upper case,
// "backward" reverses the byte order, "bad" is upper with a wrong signature.
std::string Collation(const std::string& name) {
  if (name != "upper" && name != "backward" && name != "bad") throw ScriptError("no collating sequence " + name);
  BtrAltCollation acs{};
  acs.signature = name == "bad" ? 0xAE : B_ACS_SIGNATURE;
  std::memcpy(acs.name, name == "backward" ? "BACKWARD" : "UPPER   ", 8);
  for (int c = 0; c < 256; ++c) {
    acs.table[c] = static_cast<uint8_t>(name == "backward" ? 255 - c : (c >= 'a' && c <= 'z' ? c - 32 : c));
  }
  return std::string(reinterpret_cast<const char*>(&acs), sizeof acs);
}

using Args = std::map<std::string, std::vector<std::string>>;

std::string Arg(const Args& args, const char* name, const std::string& otherwise = {}) {
  const auto it = args.find(name);
  return it == args.end() ? otherwise : it->second.back();
}

// The buffer of a Create (or, without the file's part, of a Create Index).
std::string CreateBuffer(const Args& args, bool whole) {
  recman::FileSpec file;
  file.recordLength = static_cast<uint16_t>(Number(Arg(args, "rec", "0")));
  file.pageSize = static_cast<uint16_t>(Number(Arg(args, "page", "4096")));
  file.fileFlags = static_cast<uint16_t>(Number(Arg(args, "fflags", "0")));
  if (const auto it = args.find("ks"); it != args.end()) {
    for (const std::string& text : it->second) {
      const size_t star = text.find('*');
      file.keys.resize(file.keys.size() + (star == std::string::npos ? 1 : Number(text.substr(star + 1))),
                       KeyNamed(text.substr(0, star)));
    }
  }
  if (args.count("acs")) file.collations = Collation(Arg(args, "acs"));
  const std::vector<uint8_t> bytes = recman::EncodeFileSpec(file);
  std::string out(bytes.begin() + (whole ? 0 : sizeof(BtrFileSpec)), bytes.end());
  return out.substr(0, out.size() - std::min<size_t>(out.size(), Number(Arg(args, "cut", "0"))));
}

// A Stat buffer read: the file and its keys with their counts apart, the
// records and each segment's unique values ("a,b,c").
struct StatRead {
  recman::FileSpec layout;
  std::string records, unique;
};

StatRead ReadStat(const std::string& bytes) {
  StatRead out;
  if (recman::DecodeFileSpec(bytes.data(), static_cast<uint32_t>(bytes.size()), &out.layout) != 0) {
    throw ScriptError("not a Stat buffer: " + Show(bytes));
  }
  out.records = std::to_string(out.layout.records);
  out.layout.records = 0;
  for (recman::KeySpec& key : out.layout.keys) {
    for (recman::SegmentSpec& s : key.segments) {
      out.unique += (out.unique.empty() ? "" : ",") + std::to_string(s.uniqueValues);
      s.uniqueValues = 0;
    }
  }
  return out;
}

// A position block with its buffers, and the client it calls for.
struct Block {
  char pos[B_POSITION_BLOCK_SIZE] = {};
  std::vector<char> data = std::vector<char>(kBufferSize);
  char key[256] = {};
  std::array<char, 16> client{};
  bool ofClient = false;  // false: the process's own client (BTRCALL)
};

class Script {
 public:
  Script(std::string name, const TempDir& dir) : name_(std::move(name)) { saved_["dir"] = dir.dir(); }
  ~Script() {
    // Every client lets go of its files before the directory goes.
    for (auto& [who, block] : blocks_) {
      if (who.empty() || who[0] != '@') continue;
      BTRCALLID(B_RESET, nullptr, nullptr, nullptr, nullptr, 0, 0, block.client.data());
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
        const std::string failure = RunLine(line.substr(start));
        if (!failure.empty()) ADD_FAILURE() << name_ << ":" << number << ": " << line << "\n  " << failure;
      } catch (const ScriptError& e) {
        ADD_FAILURE() << name_ << ":" << number << ": " << line << "\n  cannot be read: " << e.what();
      }
    }
  }

 private:
  // The words of a line: spaces outside quotes and parentheses divide them.
  static std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    bool quoted = false;
    int depth = 0;
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (quoted && c == '\\' && i + 1 < line.size()) {
        word += c;
        word += line[++i];
        continue;
      }
      if (c == '"') quoted = !quoted;
      if (!quoted && c == '(') ++depth;
      if (!quoted && c == ')') --depth;
      if (!quoted && depth == 0 && (c == ' ' || c == '\t')) {
        if (!word.empty()) out.push_back(word);
        word.clear();
      } else {
        word += c;
      }
    }
    if (quoted || depth != 0) throw ScriptError("an unclosed quote or parenthesis");
    if (!word.empty()) out.push_back(word);
    return out;
  }

  // BYTES as the notation at the top of this file has them.
  std::string Bytes(const std::string& text) const {
    size_t at = 0;
    std::string out = Group(text, at);
    if (at != text.size()) throw ScriptError("unexpected ')' in " + text);
    return out;
  }
  std::string Group(const std::string& text, size_t& at) const {
    std::string out;
    while (at < text.size() && text[at] != ')') {
      const char c = text[at];
      if (c == ',') {
        ++at;
      } else if (c == '"') {
        out += Quoted(text, at);
      } else if (c == '(' || ((c == 'L' || c == 'D') && at + 1 < text.size() && text[at + 1] == '(')) {
        at += c == '(' ? 1 : 2;
        const std::string inner = Group(text, at);
        if (at >= text.size()) throw ScriptError("an unclosed group in " + text);
        ++at;
        if (c != '(') PutLE(out, inner.size() + (c == 'D' ? 2 : 0), 2);
        out += inner;
      } else {
        // @N, $NAME or iBITS:N (uBITS:N): the token after the character
        // that names its kind.
        const std::string word = Token(text, ++at);
        const size_t colon = word.find(':');
        if (c == '@') {
          const auto upTo = static_cast<size_t>(Number(word));
          if (out.size() > upTo) throw ScriptError("bytes run past @" + word + " in " + text);
          out.resize(upTo, '\0');
        } else if (c == '$') {
          const auto it = saved_.find(word);
          if (it == saved_.end()) throw ScriptError("nothing saved as $" + word);
          out += it->second;
        } else if ((c == 'i' || c == 'u') && colon != std::string::npos) {
          const long bits = Number(word.substr(0, colon));
          if (bits != 8 && bits != 16 && bits != 32) {
            throw ScriptError("no integer of " + std::to_string(bits) + " bits");
          }
          PutLE(out, static_cast<uint64_t>(Number(word.substr(colon + 1))), static_cast<int>(bits / 8));
        } else {
          throw ScriptError(std::string("unexpected '") + c + word + "' in " + text);
        }
      }
    }
    return out;
  }
  // "text" with its C escapes, from the quote at `at`; "text"*N repeats it.
  static std::string Quoted(const std::string& text, size_t& at) {
    std::string piece;
    for (++at; at < text.size() && text[at] != '"'; ++at) {
      char c = text[at];
      if (c == '\\' && text[++at] == 'x') {
        c = static_cast<char>(std::stoi(text.substr(at + 1, 2), nullptr, 16));
        at += 2;
      } else if (c == '\\') {
        c = text[at] == '0' ? '\0' : text[at] == 'n' ? '\n' : text[at] == 't' ? '\t' : text[at];
      }
      piece += c;
    }
    ++at;
    const long times = at < text.size() && text[at] == '*' ? Number(Token(text, ++at)) : 1;
    std::string out;
    for (long i = 0; i < times; ++i) out += piece;
    return out;
  }
  // The number or name at `at`, up to the next delimiter of Bytes.
  static std::string Token(const std::string& text, size_t& at) {
    const size_t end = std::min(text.find_first_of("\",@()$, ", at), text.size());
    std::string out = text.substr(at, end - at);
    at = end;
    return out;
  }

  Block& BlockNamed(const std::string& word) {
    const size_t at = word.find('@');
    Block& b = blocks_[word];
    if (at != std::string::npos && !b.ofClient) {
      b.ofClient = true;
      const std::string id = word.substr(at + 1);
      std::memcpy(b.client.data(), id.data(), std::min(id.size(), b.client.size()));
      blocks_["@" + id] = b;  // the client, for its Reset at the end
    }
    return b;
  }

  static int Operation(const std::string& word) {
    int op = 0;
    std::stringstream parts(word);
    for (std::string part; std::getline(parts, part, '+');) {
      const auto it = kNames.find(part);
      op += it != kNames.end() ? it->second : static_cast<int>(Number(part));
    }
    return op;
  }

  // Runs one line; what failed, or nothing.
  std::string RunLine(const std::string& line) {
    std::vector<std::string> words = Words(line);
    if (words[0] == "sqlite:" || words[0] == "server:") {
      if ((words[0] == "server:") != OnServer()) return {};
      words.erase(words.begin());
    }
    if (words.empty()) throw ScriptError("nothing after the backend");
    if (words[0] == "file") {  // file NAME BYTES: a plain file in the directory
      if (words.size() != 3) throw ScriptError("file NAME BYTES");
      std::ofstream(saved_["dir"] + words[1], std::ios::binary) << Bytes(words[2]);
      return {};
    }
    const auto arrow = std::find(words.begin(), words.end(), "->");
    if (arrow == words.end() || arrow - words.begin() < 2) throw ScriptError("BLOCK OP [ARG...] -> [STATUS] [EXPECT...]");
    Block& b = BlockNamed(words[0]);
    Args args;
    for (auto w = words.begin() + 2; w != arrow; ++w) {
      const size_t eq = w->find('=');
      if (eq == std::string::npos) throw ScriptError("an argument is NAME=VALUE: " + *w);
      args[w->substr(0, eq)].push_back(w->substr(eq + 1));
    }
    const std::vector<std::string> expect(arrow + 1, words.end());
    if (words[1] == "WALK" || words[1] == "WALKBACK") return Walk(b, words[1] == "WALK", args, expect);
    return Call(b, Operation(words[1]), args, expect);
  }

  // One call through the entry point the block's client and via16 choose.
  int Raw(Block& b, int op, void* pos, void* data, uint32_t* len, void* key, int8_t keyNum, bool via16 = false) {
    const void* client = b.ofClient ? b.client.data() : nullptr;
    const auto code = static_cast<uint16_t>(op);
    if (via16 && len != nullptr) {
      auto short16 = static_cast<uint16_t>(*len);
      const int st = client ? BTRVID(code, pos, data, &short16, key, keyNum, client)
                            : BTRV(code, pos, data, &short16, key, keyNum);
      *len = short16;
      return st;
    }
    return client ? BTRCALLID(code, pos, data, len, key, keyLength_, keyNum, client)
                  : BTRCALL(code, pos, data, len, key, keyLength_, keyNum);
  }
  int Raw(Block& b, int op, uint32_t* len, int8_t keyNum) { return Raw(b, op, b.pos, b.data.data(), len, b.key, keyNum); }

  std::string Call(Block& b, int op, const Args& args, const std::vector<std::string>& expect) {
    auto null = [&](const char* name) { return Arg(args, name) == "null"; };
    std::string sent = null("data") ? "" : Bytes(Arg(args, "data"));
    if ((op == B_CREATE && args.count("rec")) || (op == B_CREATE_INDEX && args.count("ks"))) {
      sent = CreateBuffer(args, op == B_CREATE);
    }
    std::memcpy(b.data.data(), sent.data(), std::min<size_t>(sent.size(), kBufferSize));
    if (args.count("key") && !null("key")) {
      std::memset(b.key, 0, sizeof b.key);
      const std::string key = Bytes(Arg(args, "key"));
      std::memcpy(b.key, key.data(), std::min(key.size(), sizeof b.key - 1));
    }
    const std::string lenArg = Arg(args, "len");
    uint32_t len = !lenArg.empty() && !null("len") ? static_cast<uint32_t>(Number(lenArg))
                   : kSendsData.count(op % 100)    ? static_cast<uint32_t>(sent.size())
                                                   : kReadLength;
    keyLength_ = static_cast<uint8_t>(Number(Arg(args, "klen", "255")));
    char pb[B_POSITION_BLOCK_SIZE] = {};
    if (args.count("pb") && !null("pb")) {
      const std::string given = Bytes(Arg(args, "pb"));
      std::memcpy(pb, given.data(), std::min(given.size(), sizeof pb));
    }
    char* pos = kClientWide.count(op % 100) || null("pb") ? nullptr : args.count("pb") ? pb : b.pos;
    const int status = Raw(b, op, pos, null("data") ? nullptr : b.data.data(), null("len") ? nullptr : &len,
                           null("key") ? nullptr : b.key, static_cast<int8_t>(Number(Arg(args, "k", "0"))),
                           Arg(args, "via") == "BTRV");
    return Check(b, status, std::string(b.data.data(), std::min(len, kBufferSize)), len, expect);
  }

  // The expectations after "->": the status, then EXPECTs as the notation
  // at the top of this file has them.
  std::string Check(Block& b, int status, const std::string& got, uint32_t len, const std::vector<std::string>& expect) {
    if (expect.empty()) throw ScriptError("no status after ->");
    std::string failures;
    auto compare = [&](const std::string& what, const std::string& want, const std::string& came) {
      if (came != want) failures += (failures.empty() ? "" : "\n  ") + what + ": expected " + want + ", got " + came;
    };
    compare("status", std::to_string(Number(expect[0])), std::to_string(status));
    for (size_t i = 1; i < expect.size(); ++i) {
      const size_t eq = expect[i].find('=');
      if (eq == std::string::npos) throw ScriptError("an expectation is NAME=VALUE: " + expect[i]);
      const std::string name = expect[i].substr(0, eq);
      const std::string value = expect[i].substr(eq + 1);
      if (name == "data") {
        compare("data", Show(Bytes(value)), Show(got));
      } else if (name == "head" || name == "key") {
        const std::string want = Bytes(value);
        const std::string came = name == "key" ? std::string(b.key, want.size()) : got.substr(0, want.size());
        compare(name, Show(want), Show(came));
      } else if (name == "len") {
        compare("length", std::to_string(Number(value)), std::to_string(len));
      } else if (name == "records") {
        compare("records", value, ReadStat(got).records);
      } else if (name == "unique") {
        compare("unique values", value, ReadStat(got).unique);
      } else if (name == "layout") {
        if (!(ReadStat(got).layout == ReadStat(Bytes(value)).layout)) {
          compare("file and keys", Show(Bytes(value)), Show(got));
        }
      } else if (name == "save") {  // NAME[@OFFSET[:LENGTH]]
        const size_t at = value.find('@');
        const size_t colon = value.find(':', at);
        const size_t offset = at == std::string::npos ? 0 : static_cast<size_t>(Number(value.substr(at + 1, colon - at - 1)));
        const size_t length = colon == std::string::npos ? std::string::npos : static_cast<size_t>(Number(value.substr(colon + 1)));
        saved_[value.substr(0, at)] = got.substr(std::min(offset, got.size()), length);
      } else if (name == "pos" || name == "savepos") {
        uint32_t four = 4;
        compare("Get Position", "0", std::to_string(Raw(b, B_GET_POSITION, &four, 0)));
        const std::string position(b.data.data(), 4);
        if (name == "pos") compare("position", Show(Bytes(value)), Show(position));
        if (name == "savepos") saved_[value] = position;
      } else if (name == "savepb") {
        saved_[value] = std::string(b.pos, sizeof b.pos);
      } else {
        throw ScriptError("no expectation " + name);
      }
    }
    return failures;
  }

  // WALK k=N -> a,b,c: Get First (WALKBACK: Last) and Next (Previous) on
  // key N to the end; the zero-terminated names at offset 0 of the records.
  std::string Walk(Block& b, bool forward, const Args& args,
                   const std::vector<std::string>& expect) {
    const auto keyNum = static_cast<int8_t>(Number(Arg(args, "k", "0")));
    keyLength_ = 255;
    std::string names;
    uint32_t len = kReadLength;
    int st = Raw(b, forward ? B_GET_FIRST : B_GET_LAST, &len, keyNum);
    for (; st == 0; st = Raw(b, forward ? B_GET_NEXT : B_GET_PREVIOUS, &len, keyNum)) {
      names += (names.empty() ? "" : ",") + std::string(b.data.data());
      len = kReadLength;
    }
    const std::string want = expect.empty() ? "" : expect[0];
    std::string failures;
    if (st != B_END_OF_FILE) failures = "the walk ended with status " + std::to_string(st) + ", not 9; ";
    if (names != want) failures += "walked " + (names.empty() ? "(nothing)" : names) + ", expected " + (want.empty() ? "(nothing)" : want);
    return failures;
  }

  std::string name_;
  std::map<std::string, Block> blocks_;
  std::map<std::string, std::string> saved_;  // $name
  uint8_t keyLength_ = 255;
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
