// What one position block knows between calls: its file, its open mode and
// its currency.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "recman/record_file.h"

namespace recman {

struct Cursor {
  uint64_t id = 0;                   // unique in the process, never reused
  std::shared_ptr<RecordFile> file;  // shared with the other blocks of the file
  const void* block = nullptr;       // the caller's position block it lives in
  bool readOnly = false;             // opened read-only: writes give 46
  bool exclusive = false;            // opened exclusive
  bool accelerated = false;          // opened accelerated

  // Physical currency: the record Step moves from. physPos outlives a
  // Delete of that record, physValid does not.
  bool physSet = false;   // physPos holds a position
  bool physValid = false; // the record at physPos is current (Get Position)
  int64_t physPos = 0;    // position of the physical current record

  // The current record for Update and Delete, and its version when read.
  bool hasRecord = false;  // a Get, Step, Insert or Update established it
  int64_t recordPos = 0;   // its position
  int64_t recordVer = 0;   // its version when it was read or written

  // Logical currency: a place on one key path, kept across a Delete.
  bool hasLogical = false;  // keyNum/keyValue/keySeq hold a place
  int keyNum = 0;           // the key path
  std::string keyValue;     // encoded key of the current record
  int64_t keySeq = 0;       // its sequence within duplicates (0 for unique keys)
  int walkingOn = -1;       // walk (2 * key + backward) that stands at the currency, -1 none

  // Forgets every currency.
  void ClearCurrency() {
    physSet = physValid = hasRecord = hasLogical = false;
    walkingOn = -1;
  }
};

}  // namespace recman
