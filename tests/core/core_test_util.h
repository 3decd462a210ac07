#pragma once
// Helpers of the record-object suites: a record class over a fixed buffer, an
// entry hook through which a test plays the record manager, file creation.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "reclink/base_rec_link.h"
#include "reclink/hooks.h"

namespace reclink::test {

// One call as the record manager received it, pointers included.
struct RawCall {
  uint16_t op;     // operation code
  void* posBlock;  // position block
  char* data;      // data buffer
  uint32_t* dataLen;
  char* key;       // key buffer
  uint8_t keyLen;
  int8_t keyNum;
};

// Routes every record-manager call to handler while alive and keeps them all.
class FakeManager {
 public:
  explicit FakeManager(std::function<int(const RawCall&)> handler);
  ~FakeManager();
  std::vector<uint16_t> ops() const;

  std::function<int(const RawCall&)> handler;  // plays the manager
  std::vector<RawCall> calls;                  // every call, in order

 private:
  BtrieveEntry previous_;  // restored on destruction
};

// A record class as the catalogue builds them: 3000-byte record, prime key =
// the first primeLength bytes of the record.
class TestRecord : public CBaseRecLink {
 public:
  TestRecord(const char* ident, const char* path, unsigned long primeLength = 21,
             int dataLength = 3000)
      : CBaseRecLink(path), primeLength_(primeLength) {
    SetDataBuffer(record_);
    SetDataLength(dataLength);
    SetPrimeKey(primeKey_, primeLength);
    SetRecordIdent(ident);
  }
  void GetPrimeKeyFromBuffer() override { std::memcpy(primeKey_, record_, primeLength_); }
  char* record() { return record_; }
  std::vector<unsigned char> bytes() const { return {record_, record_ + sizeof record_}; }

 private:
  char record_[3000] = {};      // the record as the file stores it
  char primeKey_[255] = {};     // key 0 of the record in record_
  unsigned long primeLength_;   // bytes of key 0
};

// Creates a record file with zstring key segments {offset, length, flags},
// one list per key. Returns the record manager's status.
int CreateRecordFile(const std::string& path, uint16_t recordLength,
                     const std::vector<std::vector<std::vector<uint16_t>>>& keys);

// The error box text of a record operation.
std::string BoxText(const std::string& ident, const std::string& label, int status);

}  // namespace reclink::test
