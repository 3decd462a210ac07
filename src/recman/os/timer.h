// A one-shot timer on a thread of the system's, for the engine's
// housekeeping: nothing runs while it is not armed, and destroying it (the
// library's unload included) cancels it and waits for a run in progress.
// POSIX: one thread of its own that sleeps on a condition; Windows: a
// thread-pool timer, and the library stays loaded until the process ends
// once a timer exists (a thread could not be waited for while Windows
// unloads the library, nor at exit, when Windows has ended it already).
#pragma once

#include <chrono>
#include <memory>

namespace recman::os {

class Timer {
 public:
  // fn(ctx) runs on the timer's thread each time the timer fires; ctx is
  // not owned and must outlive the timer.
  Timer(void (*fn)(void* ctx), void* ctx);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Makes fn run once, `delay` from now (an earlier arming is replaced).
  void Arm(std::chrono::milliseconds delay);

  // In a forked child: forgets the parent's thread, which does not exist
  // there, without touching it.
  void ForgetAfterFork();

 private:
  struct State;                    // the system's part
  std::unique_ptr<State> state_;   // owned; leaked on purpose after a fork
};

}  // namespace recman::os
