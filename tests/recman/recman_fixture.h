#pragma once
// Helpers for driving the record manager through BTRCALL in tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reclink/btrieve.h"
#include "support/test_support.h"

namespace recman_test {

// One key segment for a Create buffer.
struct Seg {
  uint16_t position;  // 1-based
  uint16_t length;
  uint16_t flags;
  uint8_t type = B_TYPE_ZSTRING;
  uint8_t nullValue = 0;
};

// A Create buffer: file spec followed by segment specs. Segments of one key
// must carry B_KEY_SEGMENTED on all but the last.
std::vector<uint8_t> MakeSpec(uint16_t recordLength, uint8_t keys, const std::vector<Seg>& segs,
                              uint16_t pageSize = 4096, uint16_t fileFlags = 0);

// One position block and the buffers of a caller.
class BtrFile {
 public:
  BtrFile() { std::memset(pos, 0, sizeof pos); }

  int Open(const std::string& path, int8_t mode = B_MODE_NORMAL);
  int Close();
  // Calls op with data = record (resized to dataLen for reads), key buffer keyBuf.
  int Call(uint16_t op, int8_t keyNum);
  // Insert/Update with record bytes.
  int Insert(const std::string& record, int8_t keyNum = 0);
  int Update(const std::string& record, int8_t keyNum = 0);
  int Delete(int8_t keyNum = 0) { return Call(B_DELETE, keyNum); }
  // A keyed Get: key is copied into the key buffer first (if given).
  int Get(uint16_t op, int8_t keyNum, const std::string& key = {});
  int Step(uint16_t op) { return Call(op, 0); }
  // The record returned by the last read, dataLen bytes.
  std::string Record() const { return std::string(data.data(), dataLen); }
  // The key buffer's first n bytes.
  std::string Key(size_t n) const { return std::string(keyBuf, n); }
  // The first zero-terminated string of the record at offset.
  std::string Field(size_t offset) const { return std::string(data.data() + offset); }
  uint32_t Position();

  char pos[B_POSITION_BLOCK_SIZE];
  std::vector<char> data = std::vector<char>(65536);
  uint32_t dataLen = 0;
  char keyBuf[256] = {};
  uint8_t keyLen = 255;
  uint32_t recordLength = 0;  // what reads ask for; set by the tests
};

// A record of length n with text fields placed at offsets.
std::string MakeRecord(size_t n, const std::vector<std::pair<size_t, std::string>>& fields);

// Creates path with spec; returns the status.
int CreateFile(const std::string& path, const std::vector<uint8_t>& spec, int8_t mode = 0);

}  // namespace recman_test
