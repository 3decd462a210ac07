#include <windows.h>

#include "recman/os/timer.h"

namespace recman::os {
namespace {

// The library stays loaded until the process ends once a timer exists:
// FreeLibrary cannot take the code from under a callback, and nothing has to
// be waited for under the loader's lock.
void PinThisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&PinThisModule), &self);
}

// True while the process ends: the system has ended its other threads
// already, and a lock they held stays held. (ntdll's own answer.)
bool ProcessEnding() {
  using Query = BOOLEAN(WINAPI*)();
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
  return query != nullptr && query();
}

}  // namespace

struct Timer::State {
  void (*fn)(void*);          // what runs
  void* ctx;                  // its argument
  PTP_TIMER timer = nullptr;  // the thread pool's timer

  static void CALLBACK Fire(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER) {
    State* state = static_cast<State*>(self);
    state->fn(state->ctx);
  }
};

Timer::Timer(void (*fn)(void*), void* ctx) : state_(new State) {
  state_->fn = fn;
  state_->ctx = ctx;
  PinThisModule();
  state_->timer = CreateThreadpoolTimer(&State::Fire, state_.get(), nullptr);
}

Timer::~Timer() {
  // Pinned, the library goes only with the process; by then the pool's
  // threads are gone and nothing may be waited for.
  if (!state_ || state_->timer == nullptr || ProcessEnding()) {
    state_.release();
    return;
  }
  SetThreadpoolTimer(state_->timer, nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(state_->timer, TRUE);
  CloseThreadpoolTimer(state_->timer);
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
