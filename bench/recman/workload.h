// The workload every side of the benchmark runs: the same records, keys and
// orders, so that the sides differ only in the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Workload {
  uint32_t records = 100000;      // records in the file
  uint32_t recordLength = 3600;   // bytes of each record
  uint32_t probes = 50000;        // keyed reads per measurement
  uint32_t inserts = 20000;       // inserts in transactions of 1,000
  uint32_t durableInserts = 500;  // inserts each in a durable transaction of its own
  uint64_t seed = 20261206;       // for every shuffle
};

// Key 0 is a unique 21-byte zero-terminated string; key 1 (41 bytes) holds
// ten records per value.
constexpr uint32_t kKey0Length = 21;
constexpr uint32_t kKey1Offset = 21;
constexpr uint32_t kKey1Length = 41;
constexpr uint32_t kGroup = 10;

// The Create buffer of the workload's file: records of recordLength bytes,
// key 0 unique, key 1 with duplicates and modifiable, both zero-terminated
// strings.
std::vector<uint8_t> CreateSpec(uint32_t recordLength);
// The key 0 value of record number i (0-based): "K" and 15 digits.
std::string Key0(uint32_t i);
// The key 1 value of record number i.
std::string Key1(uint32_t i);
// Record number i: its keys, then bytes that do not repeat.
std::vector<char> Record(const Workload& w, uint32_t i);
// The record numbers in the order they are inserted: a real shuffle.
std::vector<uint32_t> InsertOrder(const Workload& w);
// Record numbers to look up, in an order of their own (with misses for
// Get Greater or Equal beyond the last key when beyond is set).
std::vector<uint32_t> ProbeOrder(const Workload& w, uint64_t salt);
// Removes the record file at path with its log and log index, where there.
void RemoveRecordFile(const std::string& path);

}  // namespace bench
