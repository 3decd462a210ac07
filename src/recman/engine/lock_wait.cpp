#include "recman/engine/lock_wait.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "reclink/btrieve.h"

namespace recman {
namespace {

constexpr uint32_t kDefaultTimeoutMs = B_DEFAULT_LOCK_TIMEOUT_MS;
constexpr uint32_t kUnset = UINT32_MAX;

std::atomic<uint32_t> g_timeout{kUnset};  // UINT32_MAX until first use

uint32_t FromEnvironment() {
  const char* text = std::getenv(RECMAN_LOCK_TIMEOUT_VARIABLE);
  if (text == nullptr || *text == '\0') return kDefaultTimeoutMs;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value >= kUnset) return kDefaultTimeoutMs;
  return static_cast<uint32_t>(value);
}

// Start of the wait that the calling thread is in; count 0 starts a new one.
thread_local std::chrono::steady_clock::time_point t_waitStart;

}  // namespace

bool PauseBeforeRetry(int tries) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (tries == 0) t_waitStart = now;
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - t_waitStart).count();
  const uint32_t limit = LockTimeoutMs();
  if (waited >= static_cast<long long>(limit)) return false;
  long long pause = RetryPause(tries).count();
  if (pause > static_cast<long long>(limit) - waited) pause = limit - waited;
  std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  return true;
}

std::chrono::milliseconds RetryPause(int tries) {
  return std::chrono::milliseconds(tries < 4 ? 1 : (tries < 10 ? 5 : 20));
}

uint32_t LockTimeoutMs() {
  uint32_t value = g_timeout.load(std::memory_order_relaxed);
  if (value != kUnset) return value;
  uint32_t fromEnv = FromEnvironment();
  g_timeout.compare_exchange_strong(value, fromEnv);
  return g_timeout.load(std::memory_order_relaxed);
}

void SetLockTimeoutMs(uint32_t ms) {
  g_timeout.store(ms == kUnset ? kUnset - 1 : ms, std::memory_order_relaxed);
}

}  // namespace recman
