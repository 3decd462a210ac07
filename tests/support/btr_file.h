#pragma once
// A caller of the record manager in tests: one position block with its data
// and key buffers, driven through BTRCALL (or BTRCALLID for a client of its
// own), and the pieces of a Create buffer. Header only: a suite that uses it
// links the record manager itself.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "reclink/btrieve.h"
#include "reclink/file_spec.h"
#include "reclink/recman_check.h"

namespace reclink::test {

// One key segment for a Create buffer (position 1-based). Segments of one
// key carry B_KEY_SEGMENTED on all but the last.
struct Seg {
  uint16_t position, length, flags;  // as BtrKeySpec has them; the extended-type flag is added
  uint8_t type = B_TYPE_ZSTRING;     // extended key type
  uint8_t nullValue = 0;             // the null byte of a null key
};

// A Create buffer of keys keys made of segs, in order, with pages of 4096
// bytes: a segment with B_KEY_SEGMENTED goes on with the next in the same key.
inline std::vector<uint8_t> MakeSpec(uint16_t recordLength, uint8_t keys, const std::vector<Seg>& segs) {
  recman::FileSpec spec;
  spec.recordLength = recordLength;
  spec.pageSize = 4096;
  bool sameKey = false;
  for (const Seg& seg : segs) {
    if (!sameKey) spec.keys.emplace_back();
    recman::SegmentSpec s;
    s.position = seg.position;
    s.length = seg.length;
    s.flags = static_cast<uint16_t>((seg.flags & ~B_KEY_SEGMENTED) | B_KEY_EXTENDED_TYPE);
    s.type = seg.type;
    s.nullValue = seg.nullValue;
    spec.keys.back().segments.push_back(s);
    sameKey = (seg.flags & B_KEY_SEGMENTED) != 0;
  }
  EXPECT_EQ(spec.keys.size(), keys) << "the segments make another number of keys";
  return recman::EncodeFileSpec(spec);
}

// A record of length n with bytes placed at offsets.
inline std::string MakeRecord(size_t n, const std::vector<std::pair<size_t, std::string>>& fields) {
  std::string r(n, '\0');
  for (const auto& [offset, text] : fields) r.replace(offset, text.size(), text);
  return r;
}

// Whether the record files go to a server (RECMAN_SERVER) instead of
// SQLite files in the test's directory.
inline bool OnServer() {
  const char* server = std::getenv(RECMAN_SERVER_VARIABLE);
  return server != nullptr && *server != '\0';
}

// Begin, End, Abort, Reset, Stop: the operations that need no file (for
// the client BTRCALLID's id names, or BTRCALL's).
inline int Tx(uint16_t op, const void* client = nullptr) {
  return client ? BTRCALLID(op, nullptr, nullptr, nullptr, nullptr, 0, 0, client)
                : BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0);
}

// One position block and the buffers of a caller. Closed when it dies.
class BtrFile {
 public:
  explicit BtrFile(uint32_t length = 0) : recordLength(length) {}
  ~BtrFile() { Close(); }
  // Open and Create take the file name in the key buffer.
  int Open(const std::string& path, int8_t mode = B_MODE_NORMAL) { return Named(B_OPEN, path, {}, mode); }
  int Create(const std::string& path, const std::vector<uint8_t>& spec, int8_t mode) {
    return Named(B_CREATE, path, std::string(spec.begin(), spec.end()), mode);
  }
  int Close() { return Raw(B_CLOSE, 0, 0); }
  // op with the data buffer sized recordLength (or all of it) for reads.
  int Call(uint16_t op, int8_t keyNum) {
    return Raw(op, keyNum, recordLength ? recordLength : static_cast<uint32_t>(data.size()));
  }
  int Write(uint16_t op, const std::string& record, int8_t keyNum) {
    std::memcpy(data.data(), record.data(), record.size());
    return Raw(op, keyNum, static_cast<uint32_t>(record.size()));
  }
  int Insert(const std::string& record, int8_t keyNum = 0) { return Write(B_INSERT, record, keyNum); }
  int Update(const std::string& record, int8_t keyNum = 0) { return Write(B_UPDATE, record, keyNum); }
  int Delete(int8_t keyNum = 0) { return Call(B_DELETE, keyNum); }
  int Step(uint16_t op) { return Call(op, 0); }
  // A keyed Get; key (if given) goes into the key buffer first.
  int Get(uint16_t op, int8_t keyNum, const std::string& key = {}) {
    if (!key.empty()) {
      std::memset(keyBuf, 0, sizeof keyBuf);
      std::memcpy(keyBuf, key.data(), key.size());
    }
    return Call(op, keyNum);
  }
  int Direct(uint32_t position, int8_t keyNum) {
    std::memcpy(data.data(), &position, 4);
    return Raw(B_GET_DIRECT, keyNum, recordLength);
  }
  uint32_t Position() {
    uint32_t p = 0, len = 4;
    EXPECT_EQ(BTRCALLID(B_GET_POSITION, pos, &p, &len, keyBuf, keyLen, 0, client), 0);
    return p;
  }
  // The first fields (zero-terminated at offset 0) met walking key k.
  std::vector<std::string> Walk(int8_t k) {
    std::vector<std::string> names;
    int st = Get(B_GET_FIRST, k);
    for (; st == 0; st = Get(B_GET_NEXT, k)) names.push_back(Field(0));
    EXPECT_EQ(st, B_END_OF_FILE);
    return names;
  }
  std::string Record() const { return std::string(data.data(), dataLen); }
  std::string Key(size_t n) const { return std::string(keyBuf, n); }
  std::string Field(size_t offset) const { return std::string(data.data() + offset); }

  char pos[B_POSITION_BLOCK_SIZE] = {};           // the block, the engine's between calls
  std::vector<char> data = std::vector<char>(65536);  // data buffer of every call
  uint32_t dataLen = 0;                           // data length after the last call
  char keyBuf[256] = {};                          // key buffer of every call
  uint8_t keyLen = 255;                           // key length every call passes
  uint32_t recordLength = 0;                      // what reads ask for; 0: the whole buffer
  const void* client = nullptr;                   // BTRCALLID's client id; none: BTRCALL

 private:
  int Raw(uint16_t op, int8_t keyNum, uint32_t len) {
    dataLen = len;
    if (client != nullptr) return BTRCALLID(op, pos, data.data(), &dataLen, keyBuf, keyLen, keyNum, client);
    return BTRCALL(op, pos, data.data(), &dataLen, keyBuf, keyLen, keyNum);
  }
  int Named(uint16_t op, const std::string& path, const std::string& bytes, int8_t mode) {
    std::memset(keyBuf, 0, sizeof keyBuf);
    std::strncpy(keyBuf, path.c_str(), sizeof keyBuf - 1);
    std::memcpy(data.data(), bytes.data(), bytes.size());
    return Raw(op, mode, static_cast<uint32_t>(bytes.size()));
  }
};

inline int CreateFile(const std::string& path, const std::vector<uint8_t>& spec, int8_t mode = 0) {
  return BtrFile().Create(path, spec, mode);
}

}  // namespace reclink::test
