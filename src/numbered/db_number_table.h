#pragma once
// The database-number table: the 32 numbers by which CRecLink names its record
// files. A row names the number's file in the record-file table, which gives
// its file name, ident, record length and key 0; the slot of its position
// block; and how the write operations rebuild key 0 from a record (the work
// key).

#include <cstdint>

#include "reclink/records/catalogue.h"

namespace reclink::numbered {

// How the work key of a number is made from a record.
enum class WorkKey : uint8_t {
  kTexts,             // each key-0 text, with its zero, at its own offset
  kBytes,             // the key-0 bytes as they stand, bytes after a zero included
};

struct DbNumberEntry {
  int dbno;                   // database number
  const RecordFileRow* file;  // its record file; nullptr for 10, opened only by path
  int slot;                   // index of the number's position block, 0..31
  WorkKey workKey;            // how the work key is made

  // The file name, or nullptr for 10.
  const char* FileName() const { return file != nullptr ? file->fileName : nullptr; }
  // The record ident; "" for 10.
  const char* Ident() const { return file != nullptr ? file->ident : ""; }
  // Bytes of one record.
  unsigned int RecordLength() const;
  // Key 0 of the number's records.
  const KeyLayout& Key0() const;
  // Whether the number's file is the point-lat file, whose records are
  // upgraded as they are read and marked current as they are inserted.
  bool IsPointLat() const { return file == &RecordFileOf(RecordFile::kPointLat); }
};

constexpr int kDbNumberCount = 32;

// Every row, in number order.
extern const DbNumberEntry kDbNumbers[kDbNumberCount];

// The row of dbno, or nullptr for an unknown number.
const DbNumberEntry* FindDbNumber(int dbno);

// Fills copy (the number's record length) from record and builds the work key
// in key (keyCapacity bytes, at least key 0's length) by the row's rule: the
// whole key zeroed, then each text copied with its zero to its offset. A text
// never runs past key 0's length nor is read past the end of the copy.
void PrepareWorkCopy(const DbNumberEntry& entry, const void* record, char* copy, char* key,
                     size_t keyCapacity);

}  // namespace reclink::numbered
