// Reads: the keyed Gets (with the Get Key bias), the Steps, Get Position,
// Get Direct and Get By Percentage, each with the record-lock biases; and
// Find Percentage.
#include <cstring>

#include "recman/api/call.h"
#include "recman/engine/deadlock.h"
#include "recman/format/key_codec.h"
#include "recman/engine/lock_wait.h"

namespace recman {
namespace {

// Reads a record with read(Row*) and locks it for the block as the call's
// lock bias asks. A wait lock that finds the record held lets go of the file
// for a while and reads again (the record may have changed or gone
// meanwhile), until the lock timeout; then 84 or 85 as without waiting. A
// wait for a client of this process that waits for this one gives 78.
template <typename Read>
int ReadLocked(BlockCall& bc, const Call& call, Read read, Row* row) {
  int status = read(row);
  const LockRequest request = RequestOf(call.lockBias);
  if (status != B_NO_ERROR || request.kind == LockKind::kNone) return status;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockTimeoutMs());
  WaitFor wait(*call.client);
  for (int tries = 0;; ++tries) {
    Cursor& cursor = bc.cursor();
    const Client* holder = nullptr;
    status = cursor.shared->locks.Lock(cursor, row->pos, request.kind, bc.InTransaction(), &holder);
    const bool held = status == B_RECORD_INUSE || status == B_FILE_INUSE;
    if (!held || !request.wait || std::chrono::steady_clock::now() >= deadline) return status;
    // 85: the holder's transaction holds the file; 84: the holder, the record.
    const int64_t what = status == B_FILE_INUSE ? 0 : row->pos;
    if (wait.On(holder, cursor.shared->locks, what) != B_NO_ERROR) return B_DEADLOCK;
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

// Percentages count in hundredths of a per cent: 0 is the first record of
// a path, 10,000 its last, and the records between share the range evenly.
constexpr uint32_t kWholePath = 10000;

uint64_t IndexAt(uint32_t percentage, uint64_t records) {
  return records <= 1 ? 0 : (percentage * (records - 1) + kWholePath / 2) / kWholePath;
}

uint32_t PercentageOf(uint64_t index, uint64_t records) {
  return records <= 1 ? 0 : static_cast<uint32_t>((index * kWholePath + (records - 1) / 2) / (records - 1));
}

// The path of a percentage operation: 0 and *path (-1: physical order), 6
// for a key number that names no key, 21 for a key buffer too short for it.
int PercentagePath(const Call& call, const FileLayout& layout, int* path) {
  *path = call.keyNum;
  if (call.keyNum == -1) return B_NO_ERROR;
  if (call.keyNum < 0 || static_cast<size_t>(call.keyNum) >= layout.keys.size()) return B_INVALID_KEYNUMBER;
  return KeyBufferHolds(call, layout.keys[call.keyNum].length) ? B_NO_ERROR : B_KEY_BUFFER_TOO_SHORT;
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
  const Seek seek = SeekFor(call.op);
  const bool along = seek == Seek::kNext || seek == Seek::kPrevious;
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

// Get By Percentage: the data buffer's first 2 bytes hold the percentage
// (at most 10,000); the record that far along the key path, or in physical
// order with key number -1, is read as a Get or a Step reads.
int OpGetByPercentage(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  int path = -1;
  int status = PercentagePath(call, bc.layout(), &path);
  if (status != B_NO_ERROR) return status;
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  Cursor& cursor = bc.cursor();
  const FileLayout& layout = bc.layout();
  uint16_t percentage = 0;
  std::memcpy(&percentage, call.data, 2);
  if (percentage > kWholePath) return B_END_OF_FILE;  // beyond the end of the path
  if ((status = bc.JoinTransaction()) != B_NO_ERROR) return status;

  uint64_t records = 0;
  if ((status = bc.table().CountOnPath(path, false, {}, 0, 0, &records)) != B_NO_ERROR) return status;
  if (records == 0) return B_END_OF_FILE;
  Row row;
  status = ReadLocked(bc, call, [&](Row* r) { return bc.table().ReadNth(path, IndexAt(percentage, records), r); },
                      &row);
  if (status != B_NO_ERROR) return status;
  if (Damaged(layout, row)) return B_IO_ERROR;
  cursor.SetRecord(row);
  if (path >= 0) {
    cursor.SetPlace(path, row);
    ExtractKey(layout.keys[path], row.data, static_cast<uint8_t*>(call.key));
  } else {
    cursor.hasLogical = false;  // physical order keeps no place on a key path
  }
  return DeliverRecord(call, layout, row);
}

// Find Percentage: how far along its path a record stands, as the
// percentage Get By Percentage takes, in the data buffer's first 4 bytes.
// On a key path the record is the first with the key buffer's value (4 when
// there is none); in physical order (key number -1) the one at the position
// in the data buffer (43 when there is none). Currency stays as it was.
int OpFindPercentage(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  const FileLayout& layout = bc.layout();
  int path = -1;
  int status = PercentagePath(call, layout, &path);
  if (status != B_NO_ERROR) return status;
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  if ((status = bc.JoinTransaction()) != B_NO_ERROR) return status;

  Table& table = bc.table();
  std::string value;
  int64_t seq = 0;
  uint32_t pos = 0;
  Row row;
  if (path >= 0) {
    EncodeFromKeyBuffer(layout.keys[path], static_cast<const uint8_t*>(call.key), &value);
    status = table.Seek(static_cast<size_t>(path), Seek::kEqual, value, 0, 0, &row);
    seq = row.seq;
  } else {
    std::memcpy(&pos, call.data, 4);
    status = table.ReadAt(pos, -1, &row);
  }
  uint64_t before = 0, records = 0;
  if (status == B_NO_ERROR) status = table.CountOnPath(path, true, value, seq, pos, &before);
  if (status == B_NO_ERROR) status = table.CountOnPath(path, false, {}, 0, 0, &records);
  if (status != B_NO_ERROR) return status;
  const uint32_t percentage = PercentageOf(before, records);
  std::memcpy(call.data, &percentage, 4);
  *call.dataLen = 4;
  return B_NO_ERROR;
}

}  // namespace recman
