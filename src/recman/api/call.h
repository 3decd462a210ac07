// One call into the record manager as the operations see it, and the checks
// and holds they share.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "recman/engine/client.h"
#include "recman/engine/cursor.h"
#include "recman/engine/engine.h"
#include "reclink/btrieve.h"

namespace recman {

// The arguments of one call, as the caller passed them.
struct Call {
  uint16_t op;        // operation code without biases
  bool keyOnly;       // Get Key bias: position and return the key only
  uint16_t lockBias;  // record-lock bias: 0, 100, 200, 300 or 400
  bool noRetry;       // Begin's no-retry bias (+500 on a concurrent Begin)
  void* block;        // position block (may be null or garbage)
  void* data;         // data buffer (may be null)
  uint32_t* dataLen;  // data length (may be null)
  void* key;          // key buffer (may be null)
  uint8_t keyLen;     // bytes of the key buffer
  int8_t keyNum;      // key path, open mode or Create/Stat option
  Client* client;     // the calling client (the engine keeps every client)
};

// True when the key buffer can hold keyLength bytes.
inline bool KeyBufferHolds(const Call& call, unsigned keyLength) {
  return call.key != nullptr && call.keyLen >= keyLength;
}

// True when the data buffer can hold n bytes.
inline bool DataBufferHolds(const Call& call, uint32_t n) {
  return call.data != nullptr && call.dataLen != nullptr && *call.dataLen >= n;
}

// A stored record too short for the file's layout: the file is damaged.
inline bool Damaged(const FileLayout& layout, const Row& row) {
  return row.data == nullptr || row.length < layout.recordLength;
}

// The key path of an operation that may take none (Insert, Update, Get
// Direct): 0 and *path (-1 for none), or 6 when the key number names no key.
// The key number of a data-only file is not used: no path.
int OptionalPath(const Call& call, const FileLayout& layout, int* path);

// 0 when the key buffer can hold the key of path (or path is -1), else 21.
int PathKeyFits(const Call& call, const FileLayout& layout, int path);

// A call's hold on the caller's open position block: its cursor, and its
// table's mutex for as long as the call runs.
class BlockCall {
 public:
  BlockCall(Engine& engine, const Call& call);
  ~BlockCall() {
    if (cursor_) cursor_->table->EndCall();
  }
  BlockCall(const BlockCall&) = delete;
  BlockCall& operator=(const BlockCall&) = delete;

  // 0, or 3 when the block is not an open block of the calling client.
  int status() const { return cursor_ ? B_NO_ERROR : B_FILE_NOT_OPEN; }
  Cursor& cursor() { return *cursor_; }
  Table& table() { return *cursor_->table; }
  const FileLayout& layout() { return cursor_->table->layout(); }

  // Inside the client's transaction, makes the call's first access to the
  // table join it (the file's write lock, waited for as configured, except
  // by a write in a transaction begun with the no-retry bias). Returns 0 or
  // a status (85 when the file stays held).
  int JoinTransaction(bool write = false);
  // Whether the client's transaction is active.
  bool InTransaction();
  // Whether the block may write: not opened for reading only, on storage
  // that can be written.
  bool MayWrite() const { return !cursor_->readOnly && cursor_->table->writable(); }

  // Lets go of the table for `pause` (a wait for a lock that someone else
  // holds), then takes it again. Rows read before are gone. Returns false
  // when the block was closed meanwhile (a Reset on another thread).
  bool Pause(std::chrono::milliseconds pause);

 private:
  Client& client_;                     // the calling client
  std::shared_ptr<Cursor> cursor_;     // null when the block is not open; keeps its table alive
  std::unique_lock<std::mutex> lock_;  // the table's mutex, released first
};

// Closes cursor: its locks go, its block goes stale, the file's counts go
// down, and the client's table goes when this was its last block. The
// caller holds the table's mutex.
void CloseCursor(Engine& engine, Cursor& cursor);

// Operations. Each returns the status of the call.
int OpOpen(Engine&, Call&);
int OpClose(Engine&, Call&);
int OpCreate(Engine&, Call&);
int OpStat(Engine&, Call&);
int OpVersion(Engine&, Call&);
int OpReset(Engine&, Call&);
int OpUnlock(Engine&, Call&);
int OpContinuous(Engine&, Call&);
int OpSetOwner(Engine&, Call&);
int OpClearOwner(Engine&, Call&);
int OpCreateIndex(Engine&, Call&);
int OpDropIndex(Engine&, Call&);
int OpSetDirectory(Engine&, Call&);
int OpGetDirectory(Engine&, Call&);
int OpExtended(Engine&, Call&);
int OpGet(Engine&, Call&);
int OpStep(Engine&, Call&);
int OpGetPosition(Engine&, Call&);
int OpGetDirect(Engine&, Call&);
int OpGetByPercentage(Engine&, Call&);
int OpFindPercentage(Engine&, Call&);
int OpInsert(Engine&, Call&);
int OpInsertExtended(Engine&, Call&);
int OpUpdate(Engine&, Call&);
int OpDelete(Engine&, Call&);
int OpBegin(Engine&, Call&);
int OpEnd(Engine&, Call&);
int OpAbort(Engine&, Call&);

}  // namespace recman
