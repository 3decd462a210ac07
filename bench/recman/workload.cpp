#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "reclink/btrieve.h"
#include "reclink/file_spec.h"

namespace bench {

std::vector<uint8_t> CreateSpec(uint32_t recordLength) {
  recman::FileSpec spec;
  spec.recordLength = static_cast<uint16_t>(recordLength);
  spec.pageSize = 4096;
  spec.keys = {recman::KeySpec{{{1, kKey0Length, B_KEY_EXTENDED_TYPE, B_TYPE_ZSTRING}}},
               recman::KeySpec{{{kKey1Offset + 1, kKey1Length,
                                 B_KEY_EXTENDED_TYPE | B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_ZSTRING}}}};
  return recman::EncodeFileSpec(spec);
}

std::string Key0(uint32_t i) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "K%015u", i);
  return buf;
}

std::string Key1(uint32_t i) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "group-%08u-of-the-duplicate-key", i / kGroup);
  return buf;
}

std::vector<char> Record(const Workload& w, uint32_t i) {
  std::vector<char> r(w.recordLength);
  std::mt19937 bytes(i);
  for (char& c : r) c = static_cast<char>('a' + bytes() % 26);
  std::memset(r.data(), 0, kKey0Length + kKey1Length);
  const std::string k0 = Key0(i), k1 = Key1(i);
  std::memcpy(r.data(), k0.c_str(), k0.size() + 1);
  std::memcpy(r.data() + kKey1Offset, k1.c_str(), k1.size() + 1);
  return r;
}

std::vector<uint32_t> InsertOrder(const Workload& w) {
  std::vector<uint32_t> order(w.records);
  for (uint32_t i = 0; i < w.records; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937_64(w.seed));
  return order;
}

std::vector<uint32_t> ProbeOrder(const Workload& w, uint64_t salt) {
  std::mt19937_64 rng(w.seed ^ salt);
  std::vector<uint32_t> out(w.probes);
  for (uint32_t& p : out) p = static_cast<uint32_t>(rng() % w.records);
  return out;
}

void RemoveRecordFile(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

}  // namespace bench
