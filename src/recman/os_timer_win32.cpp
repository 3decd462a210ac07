#include <windows.h>

#include <mutex>

#include "recman/os_timer.h"

namespace recman::os {
namespace {

// The module that holds this code: the pool keeps it loaded while a
// callback runs, so that it cannot be unloaded under one.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

struct Timer::State {
  void (*fn)(void*);               // what runs
  void* ctx;                       // its argument
  TP_CALLBACK_ENVIRON pool;        // the pool's settings for the callback
  PTP_TIMER timer = nullptr;       // the pool's timer

  static void CALLBACK Fire(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER) {
    State* state = static_cast<State*>(self);
    state->fn(state->ctx);
  }
};

Timer::Timer(void (*fn)(void*), void* ctx) : state_(new State) {
  state_->fn = fn;
  state_->ctx = ctx;
  InitializeThreadpoolEnvironment(&state_->pool);
  SetThreadpoolCallbackLibrary(&state_->pool, ThisModule());
  state_->timer = CreateThreadpoolTimer(&State::Fire, state_.get(), &state_->pool);
}

Timer::~Timer() {
  if (!state_ || state_->timer == nullptr) return;
  SetThreadpoolTimer(state_->timer, nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(state_->timer, TRUE);
  CloseThreadpoolTimer(state_->timer);
  DestroyThreadpoolEnvironment(&state_->pool);
}

void Timer::Arm(std::chrono::milliseconds delay) {
  if (state_->timer == nullptr) return;
  // A relative time: negative, in 100-nanosecond units.
  const LONGLONG due = -static_cast<LONGLONG>(delay.count()) * 10000;
  FILETIME when;
  when.dwLowDateTime = static_cast<DWORD>(due & 0xffffffff);
  when.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(due) >> 32);
  SetThreadpoolTimer(state_->timer, &when, 0, 0);
}

void Timer::ForgetAfterFork() {}  // Windows has no fork

}  // namespace recman::os
