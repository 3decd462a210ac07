// Writes: Insert, Update and Delete, each atomic and, outside a transaction,
// durable when it returns 0.
#include <cstring>
#include <vector>

#include "recman/api/call.h"
#include "recman/format/key_codec.h"
#include "recman/storage/one_write.h"

namespace recman {
namespace {

// A write's call on its block, with the checks every write makes first:
// the block is open (3) and may write (46: a read-only open or storage),
// and, for a keyed write, the key number names a key path or none (path()
// -1), as OptionalPath takes it (6). status() is 0 or the first of them.
class WriteCall : public BlockCall {
 public:
  WriteCall(Engine& engine, const Call& call, bool keyed) : BlockCall(engine, call) {
    status_ = BlockCall::status();
    if (status_ == B_NO_ERROR && !MayWrite()) status_ = B_ACCESS_DENIED;
    if (status_ == B_NO_ERROR && keyed) status_ = OptionalPath(call, layout(), &path_);
  }
  int status() const { return status_; }
  int path() const { return path_; }

 private:
  int status_ = B_NO_ERROR;  // see status()
  int path_ = -1;            // the key path named, -1 for none
};

// The length to store of a record image of `given` bytes: the record
// length of a fixed-length file, the whole image of a variable-length one.
// Returns 0 or 22.
int StoredLength(const FileLayout& layout, uint32_t given, uint32_t* length) {
  if (given < layout.recordLength || (layout.variableLength && given > B_MAX_VARIABLE_RECORD)) {
    return B_DATALENGTH_ERROR;
  }
  *length = layout.variableLength ? given : layout.recordLength;
  return B_NO_ERROR;
}

// The length of the record the caller hands over. Returns 0 or 22.
int RecordLength(const Call& call, const FileLayout& layout, uint32_t* length) {
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  return StoredLength(layout, *call.dataLen, length);
}

// Whether an autoincrement segment of record holds zero: it gets a value.
bool NeedsAutoIncrement(const FileLayout& layout, const uint8_t* record) {
  for (const KeyDef& key : layout.keys) {
    if (key.autoIncrement && ReadInteger(record + key.segments[0].offset, key.segments[0].length) == 0) {
      return true;
    }
  }
  return false;
}

// Gives autoincrement segments that hold zero the highest stored value + 1.
int AssignAutoIncrement(Table& table, std::vector<uint8_t>& record) {
  const FileLayout& layout = table.layout();
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    const KeyDef& key = layout.keys[k];
    if (!key.autoIncrement) continue;
    const Segment& seg = key.segments[0];
    if (ReadInteger(record.data() + seg.offset, seg.length) != 0) continue;
    std::string highest;
    const int status = table.HighestValue(k, &highest);
    if (status != B_NO_ERROR) return status;
    const int64_t value = highest.empty() ? 0 : DecodeInteger(highest);
    WriteInteger(record.data() + seg.offset, seg.length, value < 0 ? 1 : value + 1);
  }
  return B_NO_ERROR;
}

// One new record inside an open write: autoincrement segments that hold
// zero get their values in *copy, then the record is stored. *stored
// receives the bytes as stored (record itself, or copy's), *keys their
// keys and *pos the new position. Returns 0 or a status.
int Store(Table& table, const uint8_t* record, uint32_t length, std::vector<uint8_t>* copy,
          const uint8_t** stored, EncodedKeys* keys, int64_t* pos) {
  const FileLayout& layout = table.layout();
  *stored = record;
  if (NeedsAutoIncrement(layout, record)) {
    copy->assign(record, record + length);
    const int status = AssignAutoIncrement(table, *copy);
    if (status != B_NO_ERROR) return status;
    *stored = copy->data();
  }
  *keys = EncodeAll(layout, *stored);
  return table.Insert(*stored, length, *keys, pos);
}

// The body of an Update, inside its write: the stored record must be the
// one the cursor read, and keys that change must be modifiable; a record
// whose value on a key with duplicates changes goes last in its new group.
// *seqs receives the record's places on every key. Returns 0 or a status.
int Replace(Table& table, const Cursor& cursor, const uint8_t* record, uint32_t length, const EncodedKeys& keys,
            std::vector<int64_t>* seqs) {
  const FileLayout& layout = table.layout();
  int64_t ver = 0;
  std::string old;
  int status = table.ReadForUpdate(cursor.recordPos, &ver, &old, seqs);
  if (status != B_NO_ERROR) return status;
  if (ver != cursor.recordVer) return B_CONFLICT;  // changed by someone since it was read
  if (old.size() < layout.recordLength) return B_IO_ERROR;
  const EncodedKeys before = EncodeAll(layout, reinterpret_cast<const uint8_t*>(old.data()));
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (before.present[k] == keys.present[k] && before.value[k] == keys.value[k]) continue;
    if (!layout.keys[k].modifiable) return B_MODIFIABLE_KEYVALUE_ERROR;
    if (layout.keys[k].duplicates && (status = table.NewSequence(&(*seqs)[k])) != B_NO_ERROR) return status;
  }
  return table.Update(cursor.recordPos, record, length, keys, *seqs);
}

// Sets full currency on key k at the record just written.
void SetCurrencyAfterWrite(Cursor& cursor, int k, const Call& call, const FileLayout& layout,
                           const EncodedKeys& keys, int64_t seq, const uint8_t* record) {
  cursor.hasLogical = keys.present[k];
  cursor.placeLost = false;
  cursor.keyNum = k;
  cursor.keyValue = keys.value[k];
  cursor.keySeq = layout.keys[k].duplicates ? seq : 0;
  ExtractKey(layout.keys[k], record, static_cast<uint8_t*>(call.key));
}

// Currency after an Insert of record at pos: the new record is the physical
// current one. Key number -1 leaves the logical currency and the record for
// writes as they were, except in a data-only file, where there is no key
// path to keep.
void SetCurrencyAfterInsert(Cursor& cursor, int path, const Call& call, const FileLayout& layout,
                            const EncodedKeys& keys, int64_t pos, const uint8_t* record) {
  if (path >= 0 || layout.keys.empty()) {
    cursor.SetRecord(Row{pos, 1, nullptr, 0, nullptr, 0, 0});
  } else {
    cursor.SetPhysical(pos);
  }
  if (path >= 0) SetCurrencyAfterWrite(cursor, path, call, layout, keys, pos, record);
}

// 0 when the block may change its current record; 84 when another client
// holds a lock on it.
int NotLockedAgainst(Cursor& cursor) {
  return cursor.shared->locks.HeldAgainst(cursor, cursor.recordPos) ? B_RECORD_INUSE : B_NO_ERROR;
}

}  // namespace

int OpInsert(Engine& engine, Call& call) {
  WriteCall bc(engine, call, true);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Table& table = bc.table();
  const FileLayout& layout = table.layout();
  const int path = bc.path();
  uint32_t length = 0;
  int status = B_NO_ERROR;
  if ((status = RecordLength(call, layout, &length)) != B_NO_ERROR ||
      (status = PathKeyFits(call, layout, path)) != B_NO_ERROR) {
    return status;
  }
  status = bc.JoinTransaction(true);
  if (status != B_NO_ERROR) return status;

  // The caller's bytes are stored as they are, unless an autoincrement key
  // takes a value: then a copy gets it and the caller sees it afterwards.
  std::vector<uint8_t> assigned;
  const uint8_t* record = nullptr;
  EncodedKeys keys;
  int64_t pos = 0;
  status = InOneWrite(table, Access::kFile, [&] {
    return Store(table, static_cast<const uint8_t*>(call.data), length, &assigned, &record, &keys, &pos);
  });
  if (status != B_NO_ERROR) return status;

  if (!assigned.empty()) std::memcpy(call.data, assigned.data(), layout.recordLength);
  SetCurrencyAfterInsert(bc.cursor(), path, call, layout, keys, pos, record);
  return B_NO_ERROR;
}

// Insert Extended: the data buffer holds a count (2 bytes) and that many
// record images, each its length (2 bytes) and its bytes. The records go in
// in order until one fails; the buffer then holds the count of records
// stored (2 bytes) and their positions (4 bytes each), and the status is
// that of the record after them. The whole batch is one write; when a
// record fails, that write is undone and the records before it are written
// again on their own, so that a batch costs one commit.
int OpInsertExtended(Engine& engine, Call& call) {
  WriteCall bc(engine, call, true);
  if (bc.status() != B_NO_ERROR) return bc.status();
  const int path = bc.path();
  Table& table = bc.table();
  const FileLayout& layout = table.layout();
  int status = B_NO_ERROR;
  // The images, checked against the buffer before anything is written.
  struct Image {
    const uint8_t* bytes;  // in the caller's buffer
    uint32_t given;        // its length as the caller gave it
  };
  std::vector<Image> images;
  if (!DataBufferHolds(call, 2)) return B_DATALENGTH_ERROR;
  const uint8_t* in = static_cast<const uint8_t*>(call.data);
  const uint32_t capacity = *call.dataLen;
  uint16_t count = 0;
  std::memcpy(&count, in, 2);
  for (uint32_t at = 2; images.size() < count;) {
    uint16_t given = 0;
    if (capacity - at < 2) return B_DATALENGTH_ERROR;
    std::memcpy(&given, in + at, 2);
    if (capacity - at - 2 < given) return B_DATALENGTH_ERROR;
    images.push_back({in + at + 2, given});
    at += 2u + given;
  }
  if ((status = PathKeyFits(call, layout, path)) != B_NO_ERROR ||
      (status = bc.JoinTransaction(true)) != B_NO_ERROR) {
    return status;
  }

  // The last record stored, for the currency.
  std::vector<uint8_t> copy;
  const uint8_t* record = nullptr;
  EncodedKeys keys;
  std::vector<int64_t> positions;
  int result = B_NO_ERROR;
  for (size_t n = images.size(); n > 0;) {
    positions.clear();
    int stored = B_NO_ERROR;  // the status of the records' storing
    status = InOneWrite(table, Access::kFile, [&] {
      while (positions.size() < n && stored == B_NO_ERROR) {
        const Image& image = images[positions.size()];
        uint32_t length = 0;
        int64_t pos = 0;
        stored = StoredLength(layout, image.given, &length);
        if (stored == B_NO_ERROR) stored = Store(table, image.bytes, length, &copy, &record, &keys, &pos);
        if (stored == B_NO_ERROR) positions.push_back(pos);
      }
      return stored;
    });
    if (status == B_NO_ERROR) break;
    // Record positions.size() failed, or the write as a whole did: nothing
    // stayed.
    result = status;
    n = stored != B_NO_ERROR ? positions.size() : 0;
    positions.clear();
  }

  if (!positions.empty()) {
    SetCurrencyAfterInsert(bc.cursor(), path, call, layout, keys, positions.back(), record);
  }
  // Each image took at least 2 bytes beside its record, so every position
  // fits where the images were, but for records shorter than 2 bytes.
  const uint16_t stored = static_cast<uint16_t>(positions.size());
  uint8_t* out = static_cast<uint8_t*>(call.data);
  std::memcpy(out, &stored, 2);
  uint32_t written = 2;
  for (int64_t pos : positions) {
    if (capacity - written < 4) break;
    const uint32_t pos32 = static_cast<uint32_t>(pos);
    std::memcpy(out + written, &pos32, 4);
    written += 4;
  }
  *call.dataLen = written;
  return result;
}

int OpUpdate(Engine& engine, Call& call) {
  WriteCall bc(engine, call, true);
  if (bc.status() != B_NO_ERROR) return bc.status();
  const int path = bc.path();
  int status = B_NO_ERROR;
  Cursor& cursor = bc.cursor();
  Table& table = bc.table();
  const FileLayout& layout = table.layout();
  uint32_t length = 0;
  if (!cursor.hasRecord) return B_POSITION_NOT_SET;
  if ((status = RecordLength(call, layout, &length)) != B_NO_ERROR ||
      (status = PathKeyFits(call, layout, path)) != B_NO_ERROR ||
      (status = NotLockedAgainst(cursor)) != B_NO_ERROR) {
    return status;
  }
  status = bc.JoinTransaction(true);
  if (status != B_NO_ERROR) return status;

  const uint8_t* record = static_cast<const uint8_t*>(call.data);
  const EncodedKeys keys = EncodeAll(layout, record);
  std::vector<int64_t> seqs;
  status = InOneWrite(table, Access::kRecord, [&] { return Replace(table, cursor, record, length, keys, &seqs); });
  if (status != B_NO_ERROR) return status;

  cursor.shared->locks.ReleaseAfterWrite(cursor, cursor.recordPos, false);
  cursor.recordVer++;
  cursor.SetPhysical(cursor.recordPos);
  // Key number -1 leaves the logical currency where it was.
  if (path >= 0) SetCurrencyAfterWrite(cursor, path, call, layout, keys, seqs[path], record);
  return B_NO_ERROR;
}

int OpDelete(Engine& engine, Call& call) {
  WriteCall bc(engine, call, false);
  if (bc.status() != B_NO_ERROR) return bc.status();
  int status = B_NO_ERROR;
  Cursor& cursor = bc.cursor();
  if (!cursor.hasRecord) return B_POSITION_NOT_SET;
  if ((status = NotLockedAgainst(cursor)) != B_NO_ERROR || (status = bc.JoinTransaction(true)) != B_NO_ERROR) {
    return status;
  }
  Table& table = bc.table();

  status = InOneWrite(table, Access::kRecord, [&] { return table.Delete(cursor.recordPos, cursor.recordVer); });
  if (status != B_NO_ERROR) return status;
  cursor.shared->locks.ReleaseAfterWrite(cursor, cursor.recordPos, true);
  // The neighbours stay: Get Next / Previous and Step move on from here. A
  // Delete given another key number than the one of the current key path
  // moves the logical currency to that number, without a place.
  cursor.hasRecord = false;
  cursor.physValid = false;
  if (cursor.hasLogical && call.keyNum != cursor.keyNum) {
    cursor.keyNum = call.keyNum;
    cursor.placeLost = true;
  }
  return B_NO_ERROR;
}

}  // namespace recman
