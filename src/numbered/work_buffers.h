#pragma once
// The global memory that the numbered interface hands to the record manager:
// one locked block per use, released when its owner goes out of scope, and
// the work copy and work key of one write operation built from two of them.

#include <cstddef>

#include "numbered/db_number_table.h"
#include "platform/winapi.h"

namespace reclink::numbered {

// A zero-filled movable global-memory block, allocated (GlobalAlloc with
// GHND) and locked on construction, unlocked and freed on destruction.
class GlobalBlock {
 public:
  explicit GlobalBlock(size_t bytes);
  ~GlobalBlock();
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  // The locked bytes; nullptr when the block could not be allocated or locked.
  char* data() const { return data_; }

 private:
  HGLOBAL handle_;  // the block, or nullptr
  char* data_;      // its locked address, or nullptr
};

// The work copy and work key of one Insert, Update or Delete by number: a
// private copy of the caller's record, and key 0 rebuilt from it, each in a
// block of its own. Both live exactly as long as this object.
class WorkBuffers {
 public:
  // entry: the number's row; record: the caller's record, at least the
  // number's record length, only read.
  WorkBuffers(const DbNumberEntry& entry, const void* record);

  // False when either block could not be had; neither is then there to use.
  bool Ready() const { return copy_.data() != nullptr && key_.data() != nullptr; }
  char* Copy() const { return copy_.data(); }
  char* Key() const { return key_.data(); }

 private:
  GlobalBlock copy_;  // the work copy: the number's record length
  GlobalBlock key_;   // the work key: 255 bytes, the key length every call offers
};

}  // namespace reclink::numbered
