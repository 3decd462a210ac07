#include <condition_variable>
#include <mutex>
#include <thread>

#include "recman/os/timer.h"

namespace recman::os {

struct Timer::State {
  void (*fn)(void*);                               // what runs
  void* ctx;                                       // its argument
  std::mutex mu;                                   // guards the fields below
  std::condition_variable wake;                    // armed again, or stopping
  std::chrono::steady_clock::time_point due;       // when to run
  bool armed = false;                              // due holds a time
  bool stop = false;                               // the timer is going away
  std::thread thread;                              // started at the first arming

  void Run() {
    std::unique_lock<std::mutex> lock(mu);
    while (!stop) {
      if (!armed) {
        wake.wait(lock);
      } else if (std::chrono::steady_clock::now() < due) {
        wake.wait_until(lock, due);
      } else {
        armed = false;
        lock.unlock();
        fn(ctx);
        lock.lock();
      }
    }
  }
};

Timer::Timer(void (*fn)(void*), void* ctx) : state_(new State) {
  state_->fn = fn;
  state_->ctx = ctx;
}

Timer::~Timer() {
  if (!state_) return;
  {
    std::lock_guard<std::mutex> guard(state_->mu);
    state_->stop = true;
  }
  state_->wake.notify_all();
  if (state_->thread.joinable()) state_->thread.join();
}

void Timer::Arm(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> guard(state_->mu);
  if (state_->stop) return;
  state_->due = std::chrono::steady_clock::now() + delay;
  state_->armed = true;
  if (!state_->thread.joinable()) {
    State* state = state_.get();
    state_->thread = std::thread([state] { state->Run(); });
  }
  state_->wake.notify_one();
}

void Timer::ForgetAfterFork() {
  // The thread, and any lock it held, stayed in the parent.
  State* fresh = new State;
  fresh->fn = state_->fn;
  fresh->ctx = state_->ctx;
  state_.release();  // never destroyed: its thread does not exist here
  state_.reset(fresh);
}

}  // namespace recman::os
