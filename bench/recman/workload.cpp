#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace bench {

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

}  // namespace bench
