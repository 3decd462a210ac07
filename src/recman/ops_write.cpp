// Writes: Insert, Update and Delete, each atomic and, outside a transaction,
// durable when it returns 0.
#include <cstring>
#include <vector>

#include "recman/call.h"
#include "recman/key_codec.h"
#include "recman/multi_commit.h"
#include "recman/write_scope.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// Largest record of a variable-length file.
constexpr uint32_t kMaxVariableRecord = 1u << 24;

// The cursor of the caller's block, when the block may write: sets *cursor
// and returns 0, or returns 3 (not open) or 46 (read-only).
int FindWritable(Engine& engine, const Call& call, Cursor** cursor) {
  *cursor = engine.Find(call.block);
  if (*cursor == nullptr) return B_FILE_NOT_OPEN;
  if ((*cursor)->readOnly || !(*cursor)->file->writable()) return B_ACCESS_DENIED;
  return B_NO_ERROR;
}

// The record bytes the caller hands over. Returns 0 or 22.
int TakeRecord(const Call& call, const FileLayout& layout, std::vector<uint8_t>* out) {
  if (call.data == nullptr || call.dataLen == nullptr || *call.dataLen < layout.recordLength) {
    return B_DATALENGTH_ERROR;
  }
  uint32_t length = layout.recordLength;
  if (layout.variableLength) {
    if (*call.dataLen > kMaxVariableRecord) return B_DATALENGTH_ERROR;
    length = *call.dataLen;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(call.data);
  out->assign(bytes, bytes + length);
  return B_NO_ERROR;
}

// The encoded keys of a record; null keys have no value.
struct Keys {
  std::vector<std::string> value;  // encoding per key
  std::vector<bool> present;       // false: null, kept out of the index
};

Keys EncodeAll(const FileLayout& layout, const uint8_t* record) {
  Keys keys;
  keys.value.resize(layout.keys.size());
  keys.present.resize(layout.keys.size());
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    keys.present[k] = EncodeFromRecord(layout.keys[k], record, &keys.value[k]);
  }
  return keys;
}

// Binds the key columns from parameter `first` on; with seq, also the
// sequence of every key with duplicates.
void BindKeys(sqlite3_stmt* stmt, int first, const FileLayout& layout, const Keys& keys,
              const std::vector<int64_t>* seq) {
  int n = first;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (keys.present[k]) {
      sqlite3_bind_blob(stmt, n++, keys.value[k].data(), static_cast<int>(keys.value[k].size()),
                        SQLITE_STATIC);
    } else {
      sqlite3_bind_null(stmt, n++);
    }
    if (seq != nullptr && layout.keys[k].duplicates) sqlite3_bind_int64(stmt, n++, (*seq)[k]);
  }
}

// Gives autoincrement segments that hold zero the highest stored value + 1.
int AssignAutoIncrement(Engine& engine, RecordFile& file, std::vector<uint8_t>& record) {
  const FileLayout& layout = file.layout();
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    const KeyDef& key = layout.keys[k];
    if (!key.autoIncrement) continue;
    const Segment& seg = key.segments[0];
    if (ReadInteger(record.data() + seg.offset, seg.length) != 0) continue;
    StatementUse use(file.Seek(k, Seek::kLast));
    const int rc = sqlite3_step(*use);
    int64_t highest = 0;
    if (rc == SQLITE_ROW) {
      const char* v = static_cast<const char*>(sqlite3_column_blob(*use, 3));
      highest = DecodeInteger(std::string(v, static_cast<size_t>(sqlite3_column_bytes(*use, 3))));
    } else if (rc != SQLITE_DONE) {
      return FailureStatus(engine, file, rc, Access::kFile);
    }
    WriteInteger(record.data() + seg.offset, seg.length, highest < 0 ? 1 : highest + 1);
  }
  return B_NO_ERROR;
}

// Sets full currency on keyNum (if a key) at the record just written.
void SetCurrencyAfterWrite(Cursor& cursor, const Call& call, const FileLayout& layout,
                           const Keys& keys, const std::vector<int64_t>& seq, int64_t pos,
                           int64_t ver, const uint8_t* record) {
  cursor.physSet = cursor.physValid = true;
  cursor.walkingOn = -1;
  cursor.physPos = pos;
  cursor.hasRecord = true;
  cursor.recordPos = pos;
  cursor.recordVer = ver;
  cursor.keyNum = call.keyNum;
  cursor.hasLogical = keys.present[call.keyNum];
  cursor.keyValue = keys.value[call.keyNum];
  cursor.keySeq = layout.keys[call.keyNum].duplicates ? seq[call.keyNum] : 0;
  ExtractKey(layout.keys[call.keyNum], record, static_cast<uint8_t*>(call.key));
}

}  // namespace

int OpInsert(Engine& engine, Call& call) {
  Cursor* cursor = nullptr;
  int status = FindWritable(engine, call, &cursor);
  if (status != B_NO_ERROR) return status;
  RecordFile& file = *cursor->file;
  const FileLayout& layout = file.layout();
  if (call.keyNum < -1 || call.keyNum >= static_cast<int>(layout.keys.size())) {
    return B_INVALID_KEYNUMBER;
  }
  std::vector<uint8_t> record;
  status = TakeRecord(call, layout, &record);
  if (status != B_NO_ERROR) return status;
  if (call.keyNum >= 0 && !KeyBufferHolds(call, layout.keys[call.keyNum].length)) {
    return B_DATA_MESSAGE_TOO_SMALL;
  }

  bool autoIncrement = false;
  for (const KeyDef& key : layout.keys) autoIncrement |= key.autoIncrement;
  WriteScope scope(engine, cursor->file, Access::kFile);
  status = scope.Begin(autoIncrement);
  if (status != B_NO_ERROR) return status;
  status = AssignAutoIncrement(engine, file, record);
  if (status != B_NO_ERROR) return status;
  const Keys keys = EncodeAll(layout, record.data());
  {
    StatementUse use(file.insert());
    sqlite3_bind_blob(*use, 1, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    BindKeys(*use, 2, layout, keys, nullptr);
    const int rc = sqlite3_step(*use);
    if (rc != SQLITE_DONE) return FailureStatus(engine, file, rc, Access::kFile);
  }
  const int64_t pos = sqlite3_last_insert_rowid(file.db());
  status = NoteWrite(engine, file, pos, true);
  if (status != B_NO_ERROR) return status;
  const std::vector<int64_t> seq(layout.keys.size(), pos);
  status = scope.Commit();
  if (status != B_NO_ERROR) return status;

  // The caller sees the values that autoincrement gave.
  std::memcpy(call.data, record.data(), layout.recordLength);
  if (call.keyNum >= 0) {
    SetCurrencyAfterWrite(*cursor, call, layout, keys, seq, pos, 1, record.data());
  }
  return B_NO_ERROR;
}

int OpUpdate(Engine& engine, Call& call) {
  Cursor* cursor = nullptr;
  int status = FindWritable(engine, call, &cursor);
  if (status != B_NO_ERROR) return status;
  RecordFile& file = *cursor->file;
  const FileLayout& layout = file.layout();
  if (call.keyNum < 0 || call.keyNum >= static_cast<int>(layout.keys.size())) {
    return B_INVALID_KEYNUMBER;
  }
  if (!cursor->hasRecord) return B_POSITION_NOT_SET;
  std::vector<uint8_t> record;
  status = TakeRecord(call, layout, &record);
  if (status != B_NO_ERROR) return status;
  if (!KeyBufferHolds(call, layout.keys[call.keyNum].length)) return B_DATA_MESSAGE_TOO_SMALL;

  WriteScope scope(engine, cursor->file, Access::kRecord);
  status = scope.Begin(true);
  if (status != B_NO_ERROR) return status;
  const Keys keys = EncodeAll(layout, record.data());
  std::vector<int64_t> seq(layout.keys.size(), 0);
  {
    StatementUse use(file.row());
    sqlite3_bind_int64(*use, 1, cursor->recordPos);
    const int rc = sqlite3_step(*use);
    if (rc == SQLITE_DONE) return B_CONFLICT;  // deleted by someone since it was read
    if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kRecord);
    if (sqlite3_column_int64(*use, 0) != cursor->recordVer) return B_CONFLICT;
    const uint8_t* old = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
    if (old == nullptr || static_cast<uint32_t>(sqlite3_column_bytes(*use, 1)) < layout.recordLength) {
      return B_IO_ERROR;
    }
    const Keys before = EncodeAll(layout, old);
    for (size_t k = 0; k < layout.keys.size(); ++k) {
      const bool changed = before.present[k] != keys.present[k] || before.value[k] != keys.value[k];
      if (changed && !layout.keys[k].modifiable) return B_MODIFIABLE_KEYVALUE_ERROR;
      seq[k] = sqlite3_column_int64(*use, 2 + static_cast<int>(k));
      // A record whose value changes goes last in its new group.
      if (changed && layout.keys[k].duplicates) seq[k] = -1;
    }
  }
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (seq[k] != -1) continue;
    StatementUse use(file.bumpSeq());
    const int rc = sqlite3_step(*use);
    if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kRecord);
    seq[k] = sqlite3_column_int64(*use, 0);
  }
  status = NoteWrite(engine, file, cursor->recordPos, false);
  if (status != B_NO_ERROR) return status;
  {
    StatementUse use(file.update());
    sqlite3_bind_int64(*use, 1, cursor->recordPos);
    sqlite3_bind_blob(*use, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    BindKeys(*use, 3, layout, keys, &seq);
    const int rc = sqlite3_step(*use);
    if (rc != SQLITE_DONE) return FailureStatus(engine, file, rc, Access::kRecord);
  }
  status = scope.Commit();
  if (status != B_NO_ERROR) return status;
  SetCurrencyAfterWrite(*cursor, call, layout, keys, seq, cursor->recordPos, cursor->recordVer + 1,
                        record.data());
  return B_NO_ERROR;
}

int OpDelete(Engine& engine, Call& call) {
  Cursor* cursor = nullptr;
  int status = FindWritable(engine, call, &cursor);
  if (status != B_NO_ERROR) return status;
  if (!cursor->hasRecord) return B_POSITION_NOT_SET;
  RecordFile& file = *cursor->file;

  WriteScope scope(engine, cursor->file, Access::kRecord);
  status = scope.Begin(false);
  if (status != B_NO_ERROR) return status;
  status = NoteWrite(engine, file, cursor->recordPos, false);
  if (status != B_NO_ERROR) return status;
  {
    StatementUse use(file.erase());
    sqlite3_bind_int64(*use, 1, cursor->recordPos);
    sqlite3_bind_int64(*use, 2, cursor->recordVer);
    const int rc = sqlite3_step(*use);
    if (rc != SQLITE_DONE) return FailureStatus(engine, file, rc, Access::kRecord);
    if (sqlite3_changes(file.db()) == 0) return B_CONFLICT;
  }
  status = scope.Commit();
  if (status != B_NO_ERROR) return status;
  // The neighbours stay: Get Next / Previous and Step move on from here.
  cursor->hasRecord = false;
  cursor->physValid = false;
  cursor->walkingOn = -1;
  return B_NO_ERROR;
}

}  // namespace recman
