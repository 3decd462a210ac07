#include "recman/storage/sqlite/memory_budget.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace recman::sqlite {
namespace {

constexpr uint64_t kDefaultKiB = 64 * 1024;
// No connection's cache goes below this, however many share the budget.
constexpr int64_t kFloorKiB = 64;
constexpr uint64_t kUnset = UINT64_MAX;

std::atomic<uint64_t> g_budget{kUnset};     // KiB, kUnset until first use
std::atomic<int64_t> g_connections{0};      // open connections
std::atomic<uint64_t> g_generation{1};      // bumped on every change

uint64_t FromEnvironment() {
  const char* text = std::getenv("RECMAN_MEMORY_BUDGET_MB");
  if (text == nullptr || *text == '\0') return kDefaultKiB;
  char* end = nullptr;
  const unsigned long long mb = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || mb == 0 || mb > (1ull << 30)) return kDefaultKiB;
  return mb * 1024;
}

}  // namespace

uint64_t MemoryBudgetKiB() {
  uint64_t value = g_budget.load(std::memory_order_relaxed);
  if (value != kUnset) return value;
  g_budget.compare_exchange_strong(value, FromEnvironment());
  return g_budget.load(std::memory_order_relaxed);
}

void SetMemoryBudgetKiB(uint64_t kib) {
  g_budget.store(kib == 0 || kib == kUnset ? kDefaultKiB : kib);
  g_generation.fetch_add(1);
}

void AddConnectionToBudget() {
  g_connections.fetch_add(1);
  g_generation.fetch_add(1);
}

void RemoveConnectionFromBudget() {
  g_connections.fetch_sub(1);
  g_generation.fetch_add(1);
}

uint64_t BudgetGeneration() { return g_generation.load(std::memory_order_relaxed); }

int64_t CacheShareKiB() {
  const int64_t n = std::max<int64_t>(1, g_connections.load(std::memory_order_relaxed));
  return std::max<int64_t>(kFloorKiB, static_cast<int64_t>(MemoryBudgetKiB()) / n);
}

}  // namespace recman::sqlite
