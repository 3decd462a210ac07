// What every backend's file check verifies of each stored record, and how
// the problems reach the caller.
#pragma once

#include <cstdint>
#include <string>

#include "recman/format/file_layout.h"
#include "reclink/recman_check.h"

namespace recman {

// Collects problems for the caller's sink.
class CheckReport {
 public:
  CheckReport(BtrCheckSink sink, void* ctx) : sink_(sink), ctx_(ctx) {}
  void Problem(const std::string& text) {
    ++count_;
    if (sink_ != nullptr) sink_(ctx_, text.c_str());
  }
  int count() const { return count_; }

 private:
  BtrCheckSink sink_;  // the caller's receiver, may be null
  void* ctx_;          // handed back to sink_
  int count_ = 0;      // problems so far
};

// One key as storage keeps it beside a record.
struct StoredKey {
  bool null = true;    // kept out of the index
  std::string value;   // the encoded value stored (when not null)
  bool hasPlace = true;  // a key with duplicates has its place among them
};

// Checks one stored record against the layout: its position, its length,
// and each stored key (keys[k] for key k) against the value recomputed from
// the record's bytes.
void CheckStoredRecord(const FileLayout& layout, int64_t pos, const uint8_t* data, uint32_t length,
                       const StoredKey* keys, CheckReport& report);

}  // namespace recman
