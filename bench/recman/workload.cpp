#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "reclink/btrieve.h"

namespace bench {

std::vector<uint8_t> CreateSpec(uint32_t recordLength) {
  std::vector<uint8_t> buf(sizeof(BtrFileSpec) + 2 * sizeof(BtrKeySpec));
  BtrFileSpec fs{};
  fs.recordLength = static_cast<uint16_t>(recordLength);
  fs.pageSize = 4096;
  fs.numberOfKeys = 2;
  BtrKeySpec k0{}, k1{};
  k0.position = 1;
  k0.length = kKey0Length;
  k0.flags = B_KEY_EXTENDED_TYPE;
  k0.extendedType = B_TYPE_ZSTRING;
  k1.position = kKey1Offset + 1;
  k1.length = kKey1Length;
  k1.flags = B_KEY_EXTENDED_TYPE | B_KEY_DUPLICATES | B_KEY_MODIFIABLE;
  k1.extendedType = B_TYPE_ZSTRING;
  std::memcpy(buf.data(), &fs, sizeof fs);
  std::memcpy(buf.data() + sizeof fs, &k0, sizeof k0);
  std::memcpy(buf.data() + sizeof fs + sizeof k0, &k1, sizeof k1);
  return buf;
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
