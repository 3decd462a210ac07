// Reads: the keyed Gets (with the Get Key bias), the Steps, Get Position and
// Get Direct, each with the record-lock biases.
#include <cstring>

#include "recman/call.h"
#include "recman/key_codec.h"
#include "recman/lock_wait.h"

namespace recman {
namespace {

// Reads a record with read(Row*) and locks it for the block as the call's
// lock bias asks. A wait lock that finds the record held lets go of the file
// for a while and reads again (the record may have changed or gone
// meanwhile), until the lock timeout; then 84 or 85 as without waiting.
template <typename Read>
int ReadLocked(BlockCall& bc, const Call& call, Read read, Row* row) {
  int status = read(row);
  const LockRequest request = RequestOf(call.lockBias);
  if (status != B_NO_ERROR || request.kind == LockKind::kNone) return status;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockTimeoutMs());
  for (int tries = 0;; ++tries) {
    Cursor& cursor = bc.cursor();
    status = cursor.shared->locks.Lock(cursor, row->pos, request.kind, bc.InTransaction());
    const bool held = status == B_RECORD_INUSE || status == B_FILE_INUSE;
    if (!held || !request.wait || std::chrono::steady_clock::now() >= deadline) return status;
    if (!bc.Pause(RetryPause(tries))) return B_FILE_NOT_OPEN;
    if ((status = read(row)) != B_NO_ERROR) return status;
  }
}

// Hands the record to the caller. A buffer too short for it gives 22: with
// nothing copied when it cannot hold the fixed part either, and with as much
// as fits when the record is longer than the fixed part (a variable-length
// file) and the buffer holds that part.
int DeliverRecord(const Call& call, const FileLayout& layout, const Row& row) {
  if (!DataBufferHolds(call, row.length)) {
    if (layout.variableLength && DataBufferHolds(call, layout.recordLength)) {
      std::memcpy(call.data, row.data, *call.dataLen);
    }
    return B_DATALENGTH_ERROR;
  }
  std::memcpy(call.data, row.data, row.length);
  *call.dataLen = row.length;
  return B_NO_ERROR;
}

Seek SeekFor(uint16_t op) {
  switch (op) {
    case B_GET_EQUAL: return Seek::kEqual;
    case B_GET_NEXT: return Seek::kNext;
    case B_GET_PREVIOUS: return Seek::kPrevious;
    case B_GET_GREATER: return Seek::kGreater;
    case B_GET_GE: return Seek::kGreaterEq;
    case B_GET_LESS: return Seek::kLess;
    case B_GET_LE: return Seek::kLessEq;
    case B_GET_FIRST: return Seek::kFirst;
    default: return Seek::kLast;
  }
}

}  // namespace

int OpGet(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Cursor& cursor = bc.cursor();
  const FileLayout& layout = bc.layout();
  if (call.keyNum < 0 || static_cast<size_t>(call.keyNum) >= layout.keys.size()) {
    return B_INVALID_KEYNUMBER;
  }
  const KeyDef& key = layout.keys[call.keyNum];
  if (!KeyBufferHolds(call, key.length)) return B_KEY_BUFFER_TOO_SHORT;
  Seek seek = SeekFor(call.op);
  const bool along = seek == Seek::kNext || seek == Seek::kPrevious;
  // Get Next and Previous Key pass over the other records of the value the
  // block stands on: they move from value to value.
  if (call.keyOnly && along && key.duplicates) seek = seek == Seek::kNext ? Seek::kGreater : Seek::kLess;
  int status = along ? cursor.AlongPath(call.keyNum) : B_NO_ERROR;
  if (status != B_NO_ERROR) return status;
  if (!call.keyOnly && (call.data == nullptr || call.dataLen == nullptr)) return B_DATALENGTH_ERROR;
  if ((status = bc.JoinTransaction()) != B_NO_ERROR) return status;

  if (!along && seek != Seek::kFirst && seek != Seek::kLast) {
    EncodeFromKeyBuffer(key, static_cast<const uint8_t*>(call.key), &cursor.sought);
  }
  Row row;
  status = ReadLocked(bc, call, [&](Row* r) {
    return bc.table().Seek(call.keyNum, seek, along ? cursor.keyValue : cursor.sought, cursor.keySeq, cursor.id, r);
  }, &row);
  if (status != B_NO_ERROR) return status;
  if (Damaged(layout, row)) return B_IO_ERROR;

  // The currency moves even when the record does not fit the buffer. Get
  // Key leaves no current record for writes.
  cursor.SetRecord(row, !call.keyOnly);
  cursor.SetPlace(call.keyNum, row);
  ExtractKey(key, row.data, static_cast<uint8_t*>(call.key));
  return call.keyOnly ? B_NO_ERROR : DeliverRecord(call, layout, row);
}

int OpStep(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Cursor& cursor = bc.cursor();
  Step step;
  switch (call.op) {
    case B_STEP_FIRST: step = Step::kFirst; break;
    case B_STEP_LAST: step = Step::kLast; break;
    case B_STEP_NEXT: step = Step::kNext; break;
    default: step = Step::kPrevious; break;
  }
  if ((step == Step::kNext || step == Step::kPrevious) && !cursor.physSet) return B_POSITION_NOT_SET;
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  int status = bc.JoinTransaction();
  if (status != B_NO_ERROR) return status;

  Row row;
  status = ReadLocked(bc, call, [&](Row* r) { return bc.table().Step(step, cursor.physPos, cursor.id, r); }, &row);
  if (status != B_NO_ERROR) return status;
  if (Damaged(bc.layout(), row)) return B_IO_ERROR;
  cursor.SetRecord(row);
  cursor.hasLogical = false;  // Step keeps no place on a key path
  return DeliverRecord(call, bc.layout(), row);
}

int OpGetPosition(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  if (!bc.cursor().physValid) return B_POSITION_NOT_SET;
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  const uint32_t pos = static_cast<uint32_t>(bc.cursor().physPos);
  std::memcpy(call.data, &pos, 4);
  *call.dataLen = 4;
  return B_NO_ERROR;
}

int OpGetDirect(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Cursor& cursor = bc.cursor();
  const FileLayout& layout = bc.layout();
  int path = -1;
  int status = OptionalPath(call, layout, &path);
  if (status == B_NO_ERROR) status = PathKeyFits(call, layout, path);
  if (status != B_NO_ERROR) return status;
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  uint32_t pos;
  std::memcpy(&pos, call.data, 4);
  status = bc.JoinTransaction();
  if (status != B_NO_ERROR) return status;

  Row row;
  status = ReadLocked(bc, call, [&](Row* r) { return bc.table().ReadAt(pos, path, r); }, &row);
  if (status != B_NO_ERROR) return status;
  if (Damaged(layout, row)) return B_IO_ERROR;
  cursor.SetRecord(row);
  // Key number -1 takes no key path: the logical currency is gone.
  cursor.hasLogical = false;
  if (path >= 0) {
    const KeyDef& key = layout.keys[path];
    // A record whose value is null on this key is not on its path: no place.
    cursor.hasLogical = EncodeFromRecord(key, row.data, &cursor.keyValue);
    cursor.placeLost = false;
    cursor.keyNum = path;
    cursor.keySeq = row.seq;
    ExtractKey(key, row.data, static_cast<uint8_t*>(call.key));
  }
  return DeliverRecord(call, layout, row);
}

}  // namespace recman
