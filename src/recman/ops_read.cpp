// Reads: the keyed Gets (with the Get Key bias), the Steps, Get Position and
// Get Direct.
#include <cstring>
#include <optional>

#include "recman/call.h"
#include "recman/key_codec.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// One record as a seek or step statement returned it.
struct Row {
  int64_t pos = 0;              // position
  int64_t ver = 0;              // version
  const uint8_t* data = nullptr;  // record bytes, valid until the statement resets
  uint32_t length = 0;          // bytes of data
};

Row ReadRow(sqlite3_stmt* stmt) {
  Row row;
  row.pos = sqlite3_column_int64(stmt, 0);
  row.ver = sqlite3_column_int64(stmt, 1);
  row.data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 2));
  row.length = static_cast<uint32_t>(sqlite3_column_bytes(stmt, 2));
  return row;
}

// Hands the record to the caller. Returns 0, or 22 when the buffer is short
// (nothing copied).
int DeliverRecord(Call& call, const Row& row) {
  if (!DataBufferHolds(call, row.length)) return B_DATALENGTH_ERROR;
  std::memcpy(call.data, row.data, row.length);
  *call.dataLen = row.length;
  return B_NO_ERROR;
}

// A stored record too short for the file's layout: the file is damaged.
bool Damaged(const RecordFile& file, const Row& row) {
  return row.data == nullptr || row.length < file.layout().recordLength;
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
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  RecordFile& file = *cursor->file;
  const FileLayout& layout = file.layout();
  if (call.keyNum < 0 || static_cast<size_t>(call.keyNum) >= layout.keys.size()) {
    return B_INVALID_KEYNUMBER;
  }
  const KeyDef& key = layout.keys[call.keyNum];
  if (!KeyBufferHolds(call, key.length)) return B_DATA_MESSAGE_TOO_SMALL;
  const Seek seek = SeekFor(call.op);
  if (seek == Seek::kNext || seek == Seek::kPrevious) {
    if (!cursor->hasLogical) return B_POSITION_NOT_SET;
    if (cursor->keyNum != call.keyNum) return B_DIFFERENT_KEYNUMBER;
  }
  if (!call.keyOnly && (call.data == nullptr || call.dataLen == nullptr)) return B_DATALENGTH_ERROR;
  int status = JoinTransaction(engine, cursor->file, Access::kFile);
  if (status != B_NO_ERROR) return status;
  cursor->file->PrepareRead();

  // Within one read snapshot a walk steps the same statement on from call
  // to call; anywhere else every call seeks afresh from the currency.
  const bool forward = seek == Seek::kNext;
  const int walkIndex = 2 * call.keyNum + (forward ? 0 : 1);
  Walk* walk = (seek == Seek::kNext || seek == Seek::kPrevious) && file.snapshotOpen()
                   ? &file.WalkOf(call.keyNum, forward)
                   : nullptr;
  std::string sought;
  std::optional<StatementUse> use;
  sqlite3_stmt* stmt;
  if (walk != nullptr) {
    stmt = walk->stmt.get();
    const bool continuing = cursor->walkingOn == walkIndex && walk->owner == cursor->id &&
                            walk->snapshot == file.snapshotGeneration();
    if (!continuing) {
      sqlite3_reset(stmt);
      sqlite3_bind_blob(stmt, 1, cursor->keyValue.data(), static_cast<int>(cursor->keyValue.size()),
                        SQLITE_TRANSIENT);
      sqlite3_bind_int64(stmt, 2, cursor->keySeq);
      walk->owner = cursor->id;
      walk->snapshot = file.snapshotGeneration();
    }
  } else {
    use.emplace(file.Seek(call.keyNum, seek));
    stmt = **use;
    switch (seek) {
      case Seek::kFirst:
      case Seek::kLast:
        break;
      case Seek::kNext:
      case Seek::kPrevious:
        sqlite3_bind_blob(stmt, 1, cursor->keyValue.data(), static_cast<int>(cursor->keyValue.size()),
                          SQLITE_STATIC);
        sqlite3_bind_int64(stmt, 2, cursor->keySeq);
        break;
      default:
        EncodeFromKeyBuffer(key, static_cast<const uint8_t*>(call.key), &sought);
        sqlite3_bind_blob(stmt, 1, sought.data(), static_cast<int>(sought.size()), SQLITE_STATIC);
        break;
    }
  }
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && walk != nullptr) {
    sqlite3_reset(stmt);
    walk->owner = 0;
  }
  if (rc == SQLITE_DONE) return seek == Seek::kEqual ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE;
  if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kFile);
  const Row row = ReadRow(stmt);
  if (Damaged(file, row)) return B_IO_ERROR;

  // The currency moves even when the record does not fit the buffer.
  cursor->walkingOn = walk != nullptr ? walkIndex : -1;
  cursor->physSet = cursor->physValid = true;
  cursor->physPos = row.pos;
  cursor->hasRecord = !call.keyOnly;
  cursor->recordPos = row.pos;
  cursor->recordVer = row.ver;
  cursor->hasLogical = true;
  cursor->keyNum = call.keyNum;
  const void* k = sqlite3_column_blob(stmt, 3);
  cursor->keyValue.assign(static_cast<const char*>(k), static_cast<size_t>(sqlite3_column_bytes(stmt, 3)));
  cursor->keySeq = sqlite3_column_int64(stmt, 4);

  ExtractKey(key, row.data, static_cast<uint8_t*>(call.key));
  return call.keyOnly ? B_NO_ERROR : DeliverRecord(call, row);
}

int OpStep(Engine& engine, Call& call) {
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  RecordFile& file = *cursor->file;
  Step step;
  switch (call.op) {
    case B_STEP_FIRST: step = Step::kFirst; break;
    case B_STEP_LAST: step = Step::kLast; break;
    case B_STEP_NEXT: step = Step::kNext; break;
    default: step = Step::kPrevious; break;
  }
  if ((step == Step::kNext || step == Step::kPrevious) && !cursor->physSet) return B_POSITION_NOT_SET;
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  int status = JoinTransaction(engine, cursor->file, Access::kFile);
  if (status != B_NO_ERROR) return status;
  cursor->file->PrepareRead();

  StatementUse use(file.StepStatement(step));
  if (step == Step::kNext || step == Step::kPrevious) sqlite3_bind_int64(*use, 1, cursor->physPos);
  const int rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_END_OF_FILE;
  if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kFile);
  const Row row = ReadRow(*use);
  if (Damaged(file, row)) return B_IO_ERROR;
  cursor->physSet = cursor->physValid = true;
  cursor->physPos = row.pos;
  cursor->hasRecord = true;
  cursor->recordPos = row.pos;
  cursor->recordVer = row.ver;
  cursor->hasLogical = false;  // Step keeps no place on a key path
  cursor->walkingOn = -1;
  return DeliverRecord(call, row);
}

int OpGetPosition(Engine& engine, Call& call) {
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  if (!cursor->physValid) return B_POSITION_NOT_SET;
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  const uint32_t pos = static_cast<uint32_t>(cursor->physPos);
  std::memcpy(call.data, &pos, 4);
  *call.dataLen = 4;
  return B_NO_ERROR;
}

int OpGetDirect(Engine& engine, Call& call) {
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  RecordFile& file = *cursor->file;
  const FileLayout& layout = file.layout();
  if (call.keyNum < -1 || call.keyNum >= static_cast<int>(layout.keys.size())) {
    return B_INVALID_KEYNUMBER;
  }
  if (call.keyNum >= 0 && !KeyBufferHolds(call, layout.keys[call.keyNum].length)) {
    return B_DATA_MESSAGE_TOO_SMALL;
  }
  if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
  uint32_t pos;
  std::memcpy(&pos, call.data, 4);
  int status = JoinTransaction(engine, cursor->file, Access::kFile);
  if (status != B_NO_ERROR) return status;
  cursor->file->PrepareRead();

  StatementUse use(file.row());
  sqlite3_bind_int64(*use, 1, pos);
  const int rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_BAD_RECORD_ADDRESS;
  if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kFile);
  Row row;
  row.pos = pos;
  row.ver = sqlite3_column_int64(*use, 0);
  row.data = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
  row.length = static_cast<uint32_t>(sqlite3_column_bytes(*use, 1));
  if (Damaged(file, row)) return B_IO_ERROR;

  cursor->physSet = cursor->physValid = true;
  cursor->physPos = row.pos;
  cursor->hasRecord = true;
  cursor->recordPos = row.pos;
  cursor->recordVer = row.ver;
  cursor->walkingOn = -1;
  if (call.keyNum >= 0) {
    const KeyDef& key = layout.keys[call.keyNum];
    // A record whose value is null on this key is not on its path: no place.
    cursor->hasLogical = EncodeFromRecord(key, row.data, &cursor->keyValue);
    cursor->keyNum = call.keyNum;
    cursor->keySeq = sqlite3_column_int64(*use, 2 + call.keyNum);
    ExtractKey(key, row.data, static_cast<uint8_t*>(call.key));
  }
  return DeliverRecord(call, row);
}

}  // namespace recman
