// Create Index's fill: the new key's value of every stored record, taken
// from the record's bytes a batch of records at a time, so that no more than
// a batch is ever held in memory. The same for every backend; the backend
// reads and stores the batches.
#pragma once

#include <cstdint>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/format/key_codec.h"
#include "reclink/btrieve.h"

namespace recman {

// Records read at a time.
inline constexpr int64_t kKeyFillBatch = 1000;

// Fills in the last key of `to` for every record. read(after, limit, take)
// hands take(pos, data, length) each record after position `after` in
// position order, at most limit of them, stopping early when take returns
// false; write(batch) stores the values of a batch. Both return a status.
// Returns 0, 2 for a record too damaged to give its value, or their first
// failure.
template <typename Read, typename Write>
int FillNewKey(const FileLayout& to, Read&& read, Write&& write) {
  std::vector<PositionedKey> batch;
  bool damaged = false;
  auto take = [&](int64_t pos, const uint8_t* data, uint32_t length) {
    damaged = !TakeKeyValue(to.keys.back(), to.recordLength, pos, data, length, &batch.emplace_back());
    return !damaged;
  };
  for (int64_t after = 0;; after = batch.back().pos) {
    batch.clear();
    int status = read(after, kKeyFillBatch, take);
    if (damaged) return B_IO_ERROR;
    if (status != B_NO_ERROR) return status;
    if (batch.empty()) return B_NO_ERROR;
    if ((status = write(batch)) != B_NO_ERROR) return status;
  }
}

}  // namespace recman
