// The extended operations: Get Next/Previous Extended along a key path and
// Step Next/Previous Extended in physical order, many records in one call.
// The table hands the records to a visitor (Table::Scan), so that a backend
// can read them in one go.
#include <cstring>

#include "recman/api/call.h"
#include "recman/format/extended.h"
#include "recman/format/key_codec.h"

namespace recman {
namespace {

// Bytes of a returned record's header: its length (2) and position (4).
constexpr uint32_t kEntryHeader = 6;

// One extended call's side of the scan: examines the records the table
// hands over, writes those the filter takes, and says when the call ends.
class Examiner final : public ScanVisitor {
 public:
  Examiner(const Descriptor& d, const FileLayout& layout, const KeyDef* key, const Call& call)
      : d_(d), layout_(layout), key_(key), out_(static_cast<uint8_t*>(call.data)), room_(*call.dataLen),
        keyBuffer_(static_cast<uint8_t*>(call.key)), entryMax_(kEntryHeader + ExtractedLength(d)) {}

  bool Visit(const Row& row) override {
    if (Damaged(layout_, row)) {
      status = B_IO_ERROR;
      return false;
    }
    const bool match = Matches(d_, row.data, row.length, &a_, &b_);
    if (match && row.length < d_.shortestRecord) {
      // A variable-length record too short for the extractor: not
      // examined, the call ends before it.
      status = B_INVALID_FIELD_OFFSET;
      return false;
    }
    if (match && used + entryMax_ > room_) {
      // Not examined: the next call starts with it.
      status = B_WORKSPACE_TOO_SMALL;
      return false;
    }
    examined = true;
    lastPos = row.pos;
    if (key_ != nullptr) ExtractKey(*key_, row.data, keyBuffer_);
    if (match) {
      const uint32_t n = Extract(d_, row.data, row.length, out_ + used + kEntryHeader);
      const uint16_t length = static_cast<uint16_t>(n);
      const uint32_t pos = static_cast<uint32_t>(row.pos);
      std::memcpy(out_ + used, &length, 2);
      std::memcpy(out_ + used + 2, &pos, 4);
      used += kEntryHeader + n;
      if (++returned == d_.records) return false;
    } else if (key_ != nullptr && PastLimit(d_, row.data, row.length, &a_)) {
      status = B_FILTER_LIMIT_REACHED;
      return false;
    } else if (++rejected_ == d_.rejectLimit) {
      status = B_REJECT_COUNT_REACHED;
      return false;
    }
    return true;
  }

  int status = B_NO_ERROR;  // why the call ended, when a record ended it
  bool examined = false;    // a record was examined: the currency moves to it
  int64_t lastPos = 0;      // the last one examined
  uint32_t used = 2;        // bytes of the returned buffer written (after the count)
  uint16_t returned = 0;    // records returned

 private:
  const Descriptor& d_;      // the call's descriptor
  const FileLayout& layout_; // the file's
  const KeyDef* key_;        // the key path (Get Extended), or null (Step Extended)
  uint8_t* out_;             // the caller's data buffer
  uint32_t room_;            // its length
  uint8_t* keyBuffer_;       // the caller's key buffer: the last examined record's key
  uint32_t entryMax_;        // bytes of one returned record at most
  uint32_t rejected_ = 0;    // records the filter rejected
  std::string a_, b_;        // scratch for the filter
};

}  // namespace

int OpExtended(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Cursor& cursor = bc.cursor();
  Table& table = bc.table();
  const FileLayout& layout = table.layout();
  const bool physical = call.op == B_STEP_NEXT_EXTENDED || call.op == B_STEP_PREV_EXTENDED;
  const bool forward = call.op == B_GET_NEXT_EXTENDED || call.op == B_STEP_NEXT_EXTENDED;
  const int k = physical ? -1 : call.keyNum;
  int status = B_NO_ERROR;
  if (!physical) {
    // Along the path of the Get that set the currency, as Get Next.
    if (k < 0 || static_cast<size_t>(k) >= layout.keys.size()) return B_INVALID_KEYNUMBER;
    if (!KeyBufferHolds(call, layout.keys[k].length)) return B_KEY_BUFFER_TOO_SHORT;
    if ((status = cursor.AlongPath(k)) != B_NO_ERROR) return status;
  } else if (!cursor.physSet) {
    return B_POSITION_NOT_SET;
  }
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  Descriptor d;
  status = ReadDescriptor(static_cast<const uint8_t*>(call.data), *call.dataLen, layout, &d);
  if (status != B_NO_ERROR) return status;
  const KeyDef* key = physical ? nullptr : &layout.keys[k];
  if (key != nullptr) FindLimit(*key, forward, &d);
  if ((status = bc.JoinTransaction()) != B_NO_ERROR) return status;

  // The descriptor is read: the buffer now receives the records. "UC": the
  // current record first, if it is still where the block left it.
  Examiner examiner(d, layout, key, call);
  bool more = true;
  Row row;
  if (d.withCurrent && cursor.physValid && table.ReadAt(cursor.physPos, k, &row) == B_NO_ERROR) {
    std::string value;
    const bool inPlace = key == nullptr || (EncodeFromRecord(*key, row.data, &value) &&
                                            value == cursor.keyValue && row.seq == cursor.keySeq);
    if (inPlace) more = examiner.Visit(row);
  }
  if (more) {
    status = table.Scan(k, forward, cursor.keyValue, cursor.keySeq, cursor.physPos, cursor.id, examiner);
  }
  if (status == B_NO_ERROR) status = examiner.status;
  std::memcpy(call.data, &examiner.returned, 2);
  *call.dataLen = examiner.used;

  // The last record examined is the block's place; there is no current
  // record for Update and Delete.
  if (examiner.examined) {
    cursor.SetPhysical(examiner.lastPos);
    cursor.hasRecord = false;
    cursor.hasLogical = key != nullptr;
    if (key != nullptr) {
      // Its key is in the key buffer; its place among duplicates is stored.
      EncodeFromKeyBuffer(*key, static_cast<const uint8_t*>(call.key), &cursor.keyValue);
      cursor.keySeq = 0;
      if (key->duplicates && table.ReadAt(examiner.lastPos, k, &row) == B_NO_ERROR) cursor.keySeq = row.seq;
      cursor.placeLost = false;
    }
  }
  return status;
}

}  // namespace recman
