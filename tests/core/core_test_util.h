#pragma once
// Helpers of the record-object suites: a record class over a small buffer,
// and an entry hook that lets a test play the record manager.

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
  uint16_t op;
  void* posBlock;
  char* data;
  uint32_t* dataLen;
  char* key;
  uint8_t keyLen;
  int8_t keyNum;
};

// Routes every record-manager call to handler while alive; the handler plays
// the manager and returns the status. Every call is kept in calls().
class FakeManager {
 public:
  using Handler = std::function<int(const RawCall&)>;
  explicit FakeManager(Handler handler);
  ~FakeManager();
  FakeManager(const FakeManager&) = delete;
  FakeManager& operator=(const FakeManager&) = delete;

  const std::vector<RawCall>& calls() const { return calls_; }
  std::vector<uint16_t> ops() const;

 private:
  static int Entry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                   uint8_t keyLen, int8_t keyNum);
  Handler handler_;
  std::vector<RawCall> calls_;
  BtrieveEntry previous_;
};

// A record class as the catalogue builds them: a record buffer, a prime key
// (the first primeLength bytes of the record), an ident and a path.
class TestRecord : public CBaseRecLink {
 public:
  static constexpr int kRecordLength = 3000;

  TestRecord(const char* ident, const char* path, unsigned long primeLength = 21)
      : CBaseRecLink(path) {
    std::memset(record_, 0, sizeof record_);
    std::memset(primeKey_, 0, sizeof primeKey_);
    SetDataBuffer(record_);
    SetDataLength(kRecordLength);
    SetPrimeKey(primeKey_, primeLength);
    SetRecordIdent(ident);
    primeLength_ = primeLength;
  }
  ~TestRecord() override = default;

  void GetPrimeKeyFromBuffer() override { std::memcpy(primeKey_, record_, primeLength_); }

  char* record() { return record_; }
  void SetIdent(const char* ident) { SetRecordIdent(ident); }

 private:
  char record_[kRecordLength];  // the record as the file stores it
  char primeKey_[255];          // key 0 of the record in record_
  unsigned long primeLength_;   // bytes of key 0
};

// One key segment for CreateRecordFile: 0-based offset, length, flags. The
// segment is a zstring.
struct SegmentSpec {
  uint16_t offset;
  uint16_t length;
  uint16_t flags;
};

// Creates a record file at path with the record manager's Create; keys is one
// list of segments per key. Returns the status.
int CreateRecordFile(const std::string& path, uint16_t recordLength,
                     const std::vector<std::vector<SegmentSpec>>& keys);

// The error box text of a record operation.
std::string BoxText(const std::string& ident, const std::string& label, int status);

}  // namespace reclink::test
