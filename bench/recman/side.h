// One engine under test: what every side of the benchmark does, on the
// workload's records. Each call aborts the program on a failure: a benchmark
// of a failing operation measures nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workload.h"

namespace bench {

class Side {
 public:
  virtual ~Side() = default;
  virtual std::string name() const = 0;

  // Makes the side's file of w's records in dir unless it is there already,
  // then opens it for reading.
  virtual void Open(const Workload& w, const std::string& dir) = 0;
  virtual void Close() = 0;

  // The record with key 0 equal to key (21 bytes), into out.
  virtual void GetEqual(const std::string& key, char* out) = 0;
  // The first record with key 0 at or after key, into out; false when none.
  virtual bool GetGreaterOrEqual(const std::string& key, char* out) = 0;
  // Every record in key 0 order, one by one; returns how many.
  virtual uint64_t WalkKey(char* out) = 0;
  // Every record in the order of positions, one by one; returns how many,
  // or 0 when the side has no such order.
  virtual uint64_t WalkPositions(char* out) = 0;
  // Every record in key 0 order at the least cost the side's storage allows,
  // whatever a record manager needs besides; returns how many, or 0 when the
  // side has nothing cheaper than WalkKey.
  virtual uint64_t WalkKeyLeast(char*) { return 0; }

  // Makes a fresh empty file in dir for the next Insert, outside the time
  // measured (removing the last one's).
  virtual void PrepareInsert(const Workload& w, const std::string& dir) = 0;
  // Into the file PrepareInsert made: the records of numbers, inserted in
  // transactions of `batch` (1: each its own durable transaction); opening
  // and closing the file are part of it.
  virtual void Insert(const Workload& w, const std::vector<uint32_t>& numbers, uint32_t batch) = 0;
};

std::unique_ptr<Side> MakeEngineSide();
std::unique_ptr<Side> MakeSqliteSide();
std::unique_ptr<Side> MakeLmdbSide();

// Stops the run, saying what failed.
[[noreturn]] void Fail(const std::string& what);

}  // namespace bench
