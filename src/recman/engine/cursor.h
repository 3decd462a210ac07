// What one position block knows between calls: its client, its file, its
// open mode and its currency.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "recman/storage/storage.h"
#include "reclink/btrieve.h"

namespace recman {

class Client;
struct SharedFile;

struct Cursor {
  uint64_t id = 0;                     // unique in the process, never reused
  std::shared_ptr<Client> client;      // the client that opened the block
  std::shared_ptr<SharedFile> shared;  // the file as the process knows it
  std::shared_ptr<Table> table;        // the client's table of the file, shared with its other blocks
  const void* block = nullptr;         // the caller's position block it lives in
  bool closed = false;                 // detached: calls that still hold it give 3
  bool readOnly = false;               // opened read-only: writes give 46
  bool exclusive = false;              // opened exclusive
  bool accelerated = false;            // opened accelerated

  // Physical currency: the position Step moves from. physPos outlives a
  // Delete of that record, physValid does not. Right after Open it stands
  // before the first record.
  bool physSet = true;     // physPos holds a place
  bool physValid = false;  // the record at physPos is current (Get Position)
  int64_t physPos = 0;     // position of the physical current record (0: before the first)

  // The current record for Update and Delete, and its version when read.
  bool hasRecord = false;  // a Get, Step, Insert or Update established it
  int64_t recordPos = 0;   // its position
  int64_t recordVer = 0;   // its version when it was read or written

  // Logical currency: a place on one key path, kept across a Delete.
  bool hasLogical = false;  // keyNum names a key path
  bool placeLost = false;   // on keyNum's path but without a place (a Delete by another key number)
  int keyNum = 0;           // the key path
  std::string keyValue;     // encoded key of the current record
  int64_t keySeq = 0;       // its place among duplicates (0 on unique keys)
  std::string sought;       // the caller's key encoded, kept to reuse its memory
  // 0 when Get Next/Previous (and their extended forms) may go on along key
  // k from here; 8 without a key path; 7 on another path, or after a
  // Delete given another key number (it deleted, the next such Get says so).
  int AlongPath(int k) const {
    if (!hasLogical) return B_POSITION_NOT_SET;
    return keyNum != k || placeLost ? B_DIFFERENT_KEYNUMBER : B_NO_ERROR;
  }
  // Forgets every currency.
  void ClearCurrency() {
    physSet = physValid = hasRecord = hasLogical = placeLost = false;
  }
  // Sets logical currency on key k at the record of row.
  void SetPlace(int k, const Row& row) {
    hasLogical = true;
    placeLost = false;
    keyNum = k;
    keyValue.assign(reinterpret_cast<const char*>(row.key), row.keyLength);
    keySeq = row.seq;
  }
  // Makes the record at pos the physical current one: Step moves from it,
  // Get Position reports it.
  void SetPhysical(int64_t pos) {
    physSet = physValid = true;
    physPos = pos;
  }
  // Makes the record of row current for writes and for Step.
  void SetRecord(const Row& row, bool forWrites = true) {
    SetPhysical(row.pos);
    hasRecord = forWrites;
    recordPos = row.pos;
    recordVer = row.ver;
  }
};

}  // namespace recman
