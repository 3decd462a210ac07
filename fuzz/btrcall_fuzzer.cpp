// Hostile input for the record interface: each input decodes to a program of
// BTRCALL calls with random operations, position blocks (valid, zeroed,
// copied, stale, garbage, null), buffers of exact random lengths, key
// lengths and key numbers, mixed with damage done to the files between calls
// (overwritten bytes, truncation, garbage, foreign databases). Every call
// must return a status from the record manager's table; sanitizers catch the
// rest.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "reclink/btrieve.h"
#include "reclink/file_spec.h"

namespace reclink::fuzz {
namespace {

// Every status the record manager may return.
constexpr int kStatuses[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 18, 21, 22, 24, 25,
                             26, 27, 28, 29, 30, 37, 39, 41, 43, 45, 46, 48, 49, 50, 51, 59, 60, 61,
                             62, 64, 80, 81, 84, 85, 88, 93};

// Operation codes the programs draw from; biases are added separately.
constexpr uint16_t kOps[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 19,
                             20, 21, 22, 23, 24, 25, 26, 27, 28, 33, 34, 35, 36, 37, 38, 39, 16};
// The operations on directories, owners, batches, percentages, freezes and
// keys, drawn by first bytes of their own so that the corpus's programs
// keep decoding as they did before these were added.
constexpr uint16_t kLaterOps[] = {B_SET_DIRECTORY,   B_GET_DIRECTORY, B_SET_OWNER,         B_CLEAR_OWNER,
                                  B_INSERT_EXTENDED, B_CONTINUOUS,    B_GET_BY_PERCENTAGE, B_FIND_PERCENTAGE,
                                  B_CREATE_INDEX,    B_DROP_INDEX};
constexpr uint16_t kBiases[] = {0, 0, 0, 50, 100, 200, 300, 400};

constexpr int kBlocks = 4;     // position blocks a program works with
constexpr int kFiles = 4;      // three record files made per input, one hostile name
constexpr int kTemplates = 3;  // the files made per input
const char* const kNames[kFiles] = {"a.dat", "b.dat", "c.dat", "hostile.dat"};
const char kSubdirectory[] = "sub";  // the one directory Set Directory may enter
const char kOwner[] = "fuzzown";     // the owner name programs set and open with

// The working directory, absolute: where Reset puts every client back.
std::string& WorkingDirectory() {
  static std::string dir;
  return dir;
}

// The clients a program's calls go through, besides the process's own (the
// plain entry points): two of the client-id entry points' own.
const uint8_t kClientIds[2][16] = {{'f', 'u', 'z', 'z', 'A'}, {'f', 'u', 'z', 'z', 'B'}};

bool Allowed(int status) {
  for (int s : kStatuses) {
    if (s == status) return true;
  }
  return false;
}

int Call(uint16_t op, void* pos, void* data, uint32_t* len, void* key, uint8_t keyLen,
         int8_t keyNum) {
  int st = BTRCALL(op, pos, data, len, key, keyLen, keyNum);
  if (!Allowed(st)) {
    std::fprintf(stderr, "BTRCALL(op %u, key number %d) returned status %d, not in the table\n", op,
                 keyNum, st);
    std::abort();
  }
  return st;
}

// Resets every client a program may have used, and puts each back in the
// working directory.
void Reset() {
  uint8_t scratch[B_POSITION_BLOCK_SIZE] = {};
  char dir[B_MAX_KEY_LENGTH + 1] = {};
  std::snprintf(dir, sizeof dir, "%s", WorkingDirectory().c_str());
  uint32_t len = 0;
  Call(B_RESET, scratch, nullptr, &len, nullptr, 0, 0);
  if (Call(B_SET_DIRECTORY, scratch, nullptr, &len, dir, B_MAX_KEY_LENGTH, 0) != 0) std::abort();
  for (const uint8_t* id : kClientIds) {
    if (BTRCALLID(B_RESET, scratch, nullptr, &len, nullptr, 0, 0, id) != 0 ||
        BTRCALLID(B_SET_DIRECTORY, scratch, nullptr, &len, dir, B_MAX_KEY_LENGTH, 0, id) != 0) {
      std::abort();
    }
  }
}

// Creates the record file name as spec says; returns the status.
int Create(const char* name, const recman::FileSpec& spec) {
  std::vector<uint8_t> buffer = recman::EncodeFileSpec(spec);
  uint8_t pos[B_POSITION_BLOCK_SIZE] = {};
  char key[B_MAX_KEY_LENGTH + 1] = {};
  uint32_t len = static_cast<uint32_t>(buffer.size());
  std::snprintf(key, sizeof key, "%s", name);
  return Call(B_CREATE, pos, buffer.data(), &len, key, B_MAX_KEY_LENGTH, 0);
}

// File a: 40-byte records; integer id (unique), zstring name (duplicates,
// modifiable, case-insensitive), and a two-segment key (descending string,
// unsigned binary) that may be null.
// File b: 24-byte records; autoincrement key, lstring key with duplicates,
// and a string key that compares through a case-folding collating sequence.
// File c: no keys at all.
int CreateFiles() {
  using recman::KeySpec;
  using recman::SegmentSpec;
  constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;
  constexpr uint16_t kDupMod = B_KEY_DUPLICATES | B_KEY_MODIFIABLE;
  recman::FileSpec a;
  a.recordLength = 40;
  a.pageSize = 1024;
  a.keys = {KeySpec{{SegmentSpec{1, 4, kExt, B_TYPE_INTEGER}}},
            KeySpec{{SegmentSpec{5, 16, kExt | kDupMod | B_KEY_CASE_INSENSITIVE, B_TYPE_ZSTRING}}},
            KeySpec{{SegmentSpec{21, 6, kExt | B_KEY_NULL | B_KEY_DESCENDING | kDupMod, B_TYPE_STRING, ' '},
                     SegmentSpec{27, 2, kExt | B_KEY_NULL | kDupMod, B_TYPE_UNSIGNED_BINARY, ' '}}}};
  recman::FileSpec b;
  b.recordLength = 24;
  b.pageSize = 512;
  b.keys = {KeySpec{{SegmentSpec{1, 4, kExt, B_TYPE_AUTOINCREMENT}}},
            KeySpec{{SegmentSpec{5, 10, kExt | kDupMod, B_TYPE_LSTRING}}},
            KeySpec{{SegmentSpec{15, 8, B_KEY_ALT_COLLATION | kDupMod, B_TYPE_STRING}}}};
  BtrAltCollation acs{B_ACS_SIGNATURE, {'U', 'P', 'P', 'E', 'R', ' ', ' ', ' '}, {}};
  for (int c = 0; c < 256; ++c) acs.table[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  b.collations.assign(reinterpret_cast<const char*>(&acs), sizeof acs);
  recman::FileSpec c;
  c.recordLength = 16;
  c.pageSize = 512;
  int st = Create(kNames[0], a);
  if (st == 0) st = Create(kNames[1], b);
  return st != 0 ? st : Create(kNames[2], c);
}

// The two record files as Create made them, kept in memory: every input
// starts from copies of them instead of creating files afresh.
std::vector<std::string>& Templates() {
  static std::vector<std::string> templates;
  return templates;
}

std::string ReadWhole(const char* name) {
  std::string bytes;
  if (FILE* f = std::fopen(name, "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
  }
  return bytes;
}

bool WriteWhole(const char* name, const std::string& bytes) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Removes the files of the working directory and of its subdirectory.
void RemoveAllFiles(const std::string& dir = ".") {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      names.push_back(e->d_name);
    }
  }
  closedir(d);
  for (const std::string& n : names) {
    if (n == kSubdirectory && dir == ".") {
      RemoveAllFiles(n);
    } else {
      unlink((dir + "/" + n).c_str());
    }
  }
}

// Damage done to a file between calls, with every connection closed first.
void Damage(FuzzInput& in) {
  Reset();
  const char* name = kNames[in.Below(kFiles)];
  std::string target = in.Below(4) == 0 ? std::string(name) + "-wal" : std::string(name);
  switch (in.Below(5)) {
    case 0: {  // overwrite a run of bytes
      int fd = open(target.c_str(), O_WRONLY);
      if (fd < 0) return;
      off_t size = lseek(fd, 0, SEEK_END);
      uint8_t bytes[64];
      size_t n = 1 + in.Below(sizeof bytes);
      in.Bytes(bytes, n);
      off_t at = size > 0 ? static_cast<off_t>(in.U32() % size) : 0;
      if (pwrite(fd, bytes, n, at) < 0) std::perror("pwrite");
      close(fd);
      break;
    }
    case 1: {  // truncate
      int fd = open(target.c_str(), O_WRONLY);
      if (fd < 0) return;
      off_t size = lseek(fd, 0, SEEK_END);
      if (ftruncate(fd, size > 0 ? static_cast<off_t>(in.U32() % size) : 0) != 0) {
        std::perror("ftruncate");
      }
      close(fd);
      break;
    }
    case 2: {  // replace with garbage (possibly empty)
      std::vector<uint8_t> bytes(in.Below(200) * 8);
      in.Bytes(bytes.data(), bytes.size());
      FILE* f = std::fopen(target.c_str(), "wb");
      if (f == nullptr) return;
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      break;
    }
    case 3: {  // a sound database that is not a record file
      unlink(name);
      sqlite3* db = nullptr;
      if (sqlite3_open(name, &db) == SQLITE_OK) {
        sqlite3_exec(db,
                     in.Byte() & 1 ? "CREATE TABLE t(x); INSERT INTO t VALUES(1);"
                                   : "CREATE TABLE records(id INTEGER PRIMARY KEY, data BLOB);",
                     nullptr, nullptr, nullptr);
      }
      sqlite3_close(db);
      break;
    }
    default:  // gone
      unlink(target.c_str());
      break;
  }
}

// Fills a key buffer: a file name, a key value or raw bytes. Names never leave
// the working directory.
void FillKey(FuzzInput& in, uint8_t* key, size_t n) {
  switch (in.Below(3)) {
    case 0: {
      std::memset(key, 0, n);
      const char* name = kNames[in.Below(kFiles)];
      std::memcpy(key, name, std::min(n, std::strlen(name) + (in.Byte() & 1)));
      break;
    }
    default:
      in.Bytes(key, n);
      for (size_t i = 0; i < n; ++i) {
        if (key[i] == '/' || key[i] == '\\') key[i] = '_';
      }
      break;
  }
}

// Set Directory's key buffer: the subdirectory, the working directory, or
// raw bytes that cannot climb out of it (no separators, no dots).
void FillDirectory(FuzzInput& in, uint8_t* key, size_t n) {
  std::memset(key, 0, n);
  switch (in.Below(3)) {
    case 0: std::memcpy(key, kSubdirectory, std::min(n, sizeof kSubdirectory)); break;
    case 1: std::memcpy(key, WorkingDirectory().c_str(), std::min(n, WorkingDirectory().size())); break;
    default:
      in.Bytes(key, n);
      for (size_t i = 0; i < n; ++i) {
        if (key[i] == '/' || key[i] == '\\' || key[i] == '.' || key[i] == ':') key[i] = '_';
      }
      break;
  }
}

// A data buffer shaped for the operation some of the time, so that its
// parser is passed and the work behind it runs: the owner's name for Open
// and Set Owner, a batch of records for Insert Extended, a list of the
// files for Continuous Operation, a key of one or two segments for Create
// Index. Otherwise the bytes stay as drawn.
std::vector<uint8_t> ShapedData(FuzzInput& in, uint16_t op) {
  std::vector<uint8_t> out;
  if (in.Below(2) == 0) return out;
  switch (op) {
    case B_OPEN:
    case B_SET_OWNER: out.assign(kOwner, kOwner + sizeof kOwner); break;
    case B_INSERT_EXTENDED: {
      const unsigned count = in.Below(6);
      out = {static_cast<uint8_t>(count), 0};
      for (unsigned r = 0; r < count; ++r) {
        const uint16_t length = in.Below(4) == 0 ? in.Below(64) : (r % 2 ? 24 : 40);
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        const size_t at = out.size();
        out.resize(at + length);
        in.Bytes(out.data() + at, length);
      }
      break;
    }
    case B_CREATE_INDEX: {
      constexpr uint8_t kTypes[] = {B_TYPE_STRING, B_TYPE_INTEGER, B_TYPE_ZSTRING, B_TYPE_UNSIGNED_BINARY,
                                    B_TYPE_AUTOINCREMENT};
      constexpr uint16_t kFlags = B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_NULL | B_KEY_DESCENDING;
      const unsigned segments = 1 + in.Below(2);
      for (unsigned n = 0; n < segments; ++n) {
        BtrKeySpec ks{};
        ks.position = static_cast<uint16_t>(1 + in.Below(40));
        ks.length = static_cast<uint16_t>(in.Below(2) ? 4 : 1 + in.Below(8));
        ks.flags = static_cast<uint16_t>(B_KEY_EXTENDED_TYPE | (in.U16() & kFlags) |
                                         (n + 1 < segments ? B_KEY_SEGMENTED : 0));
        ks.extendedType = kTypes[in.Below(std::size(kTypes))];
        ks.nullValue = in.Byte();
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ks);
        out.insert(out.end(), bytes, bytes + sizeof ks);
      }
      break;
    }
    case B_CONTINUOUS: {
      const std::string list = std::string(kNames[in.Below(kFiles)]) + "," + kNames[in.Below(kFiles)];
      out.assign(list.begin(), list.end());
      out.push_back(0);
      break;
    }
    default: break;
  }
  return out;
}

struct Program {
  uint8_t blocks[kBlocks][B_POSITION_BLOCK_SIZE] = {};  // the program's position blocks
};

void OneCall(FuzzInput& in, Program& p) {
  uint8_t first = in.Byte();
  uint16_t op = first < 232   ? static_cast<uint16_t>(kOps[first % std::size(kOps)] +
                                                    kBiases[in.Below(std::size(kBiases))])
                : first < 248 ? kLaterOps[first % std::size(kLaterOps)]
                              : in.U16();
  uint8_t garbage[B_POSITION_BLOCK_SIZE];
  void* pos = nullptr;
  unsigned which = in.Below(kBlocks + 2);
  if (which < kBlocks) {
    pos = p.blocks[which];
  } else if (which == kBlocks) {
    in.Bytes(garbage, sizeof garbage);
    pos = garbage;
  }
  // Buffers are exactly as long as the call says, so any read or write past
  // them is caught.
  std::unique_ptr<uint8_t[]> data;
  uint32_t dataLen = 0;
  uint8_t dataMode = in.Below(8);
  if (dataMode != 0) {
    size_t size = dataMode < 4 ? 40 : dataMode < 6 ? 24 : in.U16() % 2048;
    data.reset(new uint8_t[size == 0 ? 1 : size]);
    in.Bytes(data.get(), size);
    dataLen = static_cast<uint32_t>(size);
    if (in.Below(4) == 0) dataLen = static_cast<uint32_t>(in.U16() % (size + 1));
  } else {
    dataLen = in.U16();
  }
  if (std::vector<uint8_t> shaped = ShapedData(in, op); !shaped.empty()) {
    data.reset(new uint8_t[shaped.size()]);
    std::memcpy(data.get(), shaped.data(), shaped.size());
    dataLen = static_cast<uint32_t>(shaped.size());
  }
  uint32_t* lenPtr = in.Below(16) == 0 ? nullptr : &dataLen;
  uint32_t given = dataLen;
  uint8_t keyLen = in.Below(4) == 0 ? in.Byte() : uint8_t{B_MAX_KEY_LENGTH};
  std::unique_ptr<uint8_t[]> key;
  if (in.Below(12) != 0) {
    key.reset(new uint8_t[keyLen == 0 ? 1 : keyLen]);
    if (op == B_SET_DIRECTORY) {
      FillDirectory(in, key.get(), keyLen);
    } else if (op == B_SET_OWNER && in.Below(2) == 0) {
      std::memset(key.get(), 0, keyLen);
      std::memcpy(key.get(), kOwner, std::min<size_t>(keyLen, sizeof kOwner));
    } else {
      FillKey(in, key.get(), keyLen);
    }
  }
  int8_t keyNum = in.Below(4) == 0 ? static_cast<int8_t>(in.Byte())
                                   : static_cast<int8_t>(static_cast<int>(in.Below(9)) - 4);
  // Through which entry point, for which client.
  int st;
  const unsigned via = in.Below(8);
  if (via < 5) {
    st = Call(op, pos, data.get(), lenPtr, key.get(), keyLen, keyNum);
  } else if (via < 7) {
    st = BTRCALLID(op, pos, data.get(), lenPtr, key.get(), keyLen, keyNum, kClientIds[via - 5]);
  } else {
    // The older entry point: a 16-bit length, a 255-byte key buffer.
    if (dataLen > 0xffff || (key && keyLen < B_MAX_KEY_LENGTH)) return;
    uint16_t shortLen = static_cast<uint16_t>(dataLen);
    st = BTRV(op, pos, data.get(), lenPtr ? &shortLen : nullptr, key.get(), keyNum);
    dataLen = shortLen;
  }
  if (!Allowed(st)) {
    std::fprintf(stderr, "op %u (entry %u) returned status %d, not in the table\n", op, via, st);
    std::abort();
  }
  if (st == 0 && data && lenPtr && dataLen > given && op % 50 != B_STAT && op % 50 != B_VERSION) {
    std::fprintf(stderr, "op %u claims %u bytes in a %u-byte buffer\n", op, dataLen, given);
    std::abort();
  }
}

void Mangle(FuzzInput& in, Program& p) {
  unsigned to = in.Below(kBlocks);
  switch (in.Below(3)) {
    case 0:
      std::memcpy(p.blocks[to], p.blocks[in.Below(kBlocks)], B_POSITION_BLOCK_SIZE);
      break;
    case 1:
      std::memset(p.blocks[to], 0, B_POSITION_BLOCK_SIZE);
      break;
    default:
      p.blocks[to][in.Below(B_POSITION_BLOCK_SIZE)] ^= static_cast<uint8_t>(1 + in.Below(255));
      break;
  }
}

}  // namespace
}  // namespace reclink::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace reclink::fuzz;
  // Work in a private directory under RECLINK_FUZZ_DIR, else in memory when
  // the machine offers it: every name a program can form stays inside it.
  const char* base = std::getenv("RECLINK_FUZZ_DIR");
  if (base == nullptr || *base == '\0') {
    base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
  }
  std::string pattern = std::string(base ? base : "/tmp") + "/btrcall-fuzz-XXXXXX";
  std::vector<char> dir(pattern.begin(), pattern.end());
  dir.push_back('\0');
  if (mkdtemp(dir.data()) == nullptr || chdir(dir.data()) != 0) {
    std::perror("fuzz directory");
    std::abort();
  }
  WorkingDirectory() = dir.data();
  if (mkdir(kSubdirectory, 0700) != 0) {
    std::perror("fuzz subdirectory");
    std::abort();
  }
  std::atexit([] {
    Reset();
    RemoveAllFiles();
    rmdir(kSubdirectory);
    rmdir(WorkingDirectory().c_str());
  });
  // A lock held by this process's own other block must not make runs slow.
  setenv(RECMAN_LOCK_TIMEOUT_VARIABLE, "0", 1);
  if (CreateFiles() != 0) {
    std::fprintf(stderr, "cannot create the fuzz files\n");
    std::abort();
  }
  Reset();
  for (int f = 0; f < kTemplates; ++f) Templates().push_back(ReadWhole(kNames[f]));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace reclink::fuzz;
  FuzzInput in(bytes, size);
  Reset();
  RemoveAllFiles();
  for (int f = 0; f < kTemplates; ++f) {
    if (!WriteWhole(kNames[f], Templates()[f])) {
      std::fprintf(stderr, "cannot write the fuzz files\n");
      std::abort();
    }
  }
  Program p;
  for (int b = 0; b < kTemplates; ++b) {
    char key[B_MAX_KEY_LENGTH + 1] = {};
    std::snprintf(key, sizeof key, "%s", kNames[b]);
    uint32_t len = 0;
    Call(B_OPEN, p.blocks[b], nullptr, &len, key, B_MAX_KEY_LENGTH, 0);
  }
  for (int steps = 0; steps < 96 && !in.empty(); ++steps) {
    uint8_t kind = in.Byte();
    if (kind < 224) {
      OneCall(in, p);
    } else if (kind < 240) {
      Mangle(in, p);
    } else {
      Damage(in);
    }
  }
  Reset();
  return 0;
}
