#pragma once
// A thin owner of one position block, for tests that drive the record
// interface directly.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reclink/btrieve.h"

namespace reclink::test {

class BtrFile {
 public:
  BtrFile() = default;
  ~BtrFile() { Close(); }
  BtrFile(const BtrFile&) = delete;
  BtrFile& operator=(const BtrFile&) = delete;

  // Opens path in mode; returns the status.
  int Open(const std::string& path, int8_t mode = B_MODE_NORMAL) {
    char key[B_MAX_KEY_LENGTH + 1] = {};
    std::snprintf(key, sizeof key, "%s", path.c_str());
    uint32_t len = 0;
    int st = BTRCALL(B_OPEN, pos_, nullptr, &len, key, B_MAX_KEY_LENGTH, mode);
    open_ = st == 0;
    return st;
  }

  int Close() {
    if (!open_) return 0;
    open_ = false;
    return Call(B_CLOSE, nullptr, 0, 0);
  }

  // One call on this block with a data buffer of n bytes and the key buffer.
  int Call(uint16_t op, void* data, uint32_t n, int8_t keyNum) {
    len_ = n;
    return BTRCALL(op, pos_, data, &len_, key_, B_MAX_KEY_LENGTH, keyNum);
  }

  int Insert(std::vector<uint8_t> rec) {
    return Call(B_INSERT, rec.data(), static_cast<uint32_t>(rec.size()), 0);
  }

  // Updates the current record to rec.
  int Update(std::vector<uint8_t> rec) {
    return Call(B_UPDATE, rec.data(), static_cast<uint32_t>(rec.size()), 0);
  }

  // Reads along key keyNum into rec (sized by the caller).
  int Get(uint16_t op, std::vector<uint8_t>* rec, int8_t keyNum = 0) {
    return Call(op, rec->data(), static_cast<uint32_t>(rec->size()), keyNum);
  }

  // Get Equal on a 4-byte key 0 of value id.
  int Find(uint32_t id, std::vector<uint8_t>* rec) {
    std::memcpy(key_, &id, 4);
    return Get(B_GET_EQUAL, rec);
  }

  uint8_t* key() { return key_; }
  uint32_t length() const { return len_; }

 private:
  uint8_t pos_[B_POSITION_BLOCK_SIZE] = {};  // the block, the engine's between calls
  uint8_t key_[B_MAX_KEY_LENGTH + 1] = {};   // key buffer of every call
  uint32_t len_ = 0;                         // data length of the last call
  bool open_ = false;                        // whether Close has work to do
};

// Runs a call that needs no file: Begin, End, Abort, Reset.
inline int BtrClientCall(uint16_t op) {
  uint8_t scratch[B_MAX_KEY_LENGTH + 1] = {};
  uint32_t len = 0;
  return BTRCALL(op, scratch, scratch, &len, scratch, B_MAX_KEY_LENGTH, 0);
}

}  // namespace reclink::test
