#pragma once
// A progress line for long commands, redrawn in place on a terminal and
// silent everywhere else.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace reclink::cli {

class Progress {
 public:
  using Clock = std::chrono::steady_clock::time_point (*)();  // tells the time

  // label: what is counted ("saving PATIENT1.BTR"); total: 0 when unknown.
  // enabled: draw at all (the message stream is a terminal). now: the clock
  // that paces the redraws.
  Progress(std::ostream& err, bool enabled, std::string label, uint64_t total,
           Clock now = &std::chrono::steady_clock::now);
  ~Progress();  // finishes the line when it was drawn
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // done records so far; redraws at most ten times a second.
  void Update(uint64_t done);
  // Draws the final count and ends the line.
  void Finish();

 private:
  void Draw();

  std::ostream& err_;                              // where the line goes
  bool enabled_;                                   // draw at all
  std::string label_;                              // text before the count
  uint64_t total_;                                 // 0 = unknown
  Clock now_;                                      // the time, for pacing
  uint64_t done_ = 0;                              // last count
  bool drawn_ = false;                             // a line is on the screen
  uint64_t drawnCount_ = 0;                        // the count it shows
  std::chrono::steady_clock::time_point last_{};   // when it was last drawn
};

}  // namespace reclink::cli
