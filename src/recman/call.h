// One BTRCALL as the operations see it, and the checks they share.
#pragma once

#include <cstdint>

#include "recman/cursor.h"
#include "recman/engine.h"
#include "recman/status_map.h"

namespace recman {

// The arguments of one call, as the caller passed them.
struct Call {
  uint16_t op;        // operation code without biases
  bool keyOnly;       // Get Key bias: position and return the key only
  void* block;        // position block (may be null or garbage)
  void* data;         // data buffer (may be null)
  uint32_t* dataLen;  // data length (may be null)
  void* key;          // key buffer (may be null)
  uint8_t keyLen;     // bytes of the key buffer
  int8_t keyNum;      // key path, open mode or Create/Stat option
};

// True when the key buffer can hold keyLength bytes.
inline bool KeyBufferHolds(const Call& call, unsigned keyLength) {
  return call.key != nullptr && call.keyLen >= keyLength;
}

// True when the data buffer can hold n bytes.
inline bool DataBufferHolds(const Call& call, uint32_t n) {
  return call.data != nullptr && call.dataLen != nullptr && *call.dataLen >= n;
}

// Joins file to the client's transaction on its first access inside one:
// takes the file's write lock (waiting as configured). Returns 0 or a status
// (85/84 when another process holds the file, after the wait).
int JoinTransaction(Engine& engine, const std::shared_ptr<RecordFile>& file, Access access);

// The status of a failed SQLite step on file; inside a transaction it also
// notes when SQLite undid the transaction on its own (disk full, I/O).
int FailureStatus(Engine& engine, RecordFile& file, int rc, Access access);

// Operations. Each returns the status of the call.
int OpOpen(Engine&, Call&);
int OpClose(Engine&, Call&);
int OpCreate(Engine&, Call&);
int OpStat(Engine&, Call&);
int OpVersion(Engine&, Call&);
int OpReset(Engine&, Call&);
int OpUnlock(Engine&, Call&);
int OpGet(Engine&, Call&);
int OpStep(Engine&, Call&);
int OpGetPosition(Engine&, Call&);
int OpGetDirect(Engine&, Call&);
int OpInsert(Engine&, Call&);
int OpUpdate(Engine&, Call&);
int OpDelete(Engine&, Call&);
int OpBegin(Engine&, Call&);
int OpEnd(Engine&, Call&);
int OpAbort(Engine&, Call&);

}  // namespace recman
