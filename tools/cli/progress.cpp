#include "cli/progress.h"

#include <ostream>

namespace reclink::cli {

Progress::Progress(std::ostream& err, bool enabled, std::string label, uint64_t total, Clock now)
    : err_(err), enabled_(enabled), label_(std::move(label)), total_(total), now_(now) {}

Progress::~Progress() { Finish(); }

void Progress::Update(uint64_t done) {
  done_ = done;
  if (!enabled_) return;
  auto now = now_();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  Draw();
}

void Progress::Finish() {
  if (!enabled_ || !drawn_) return;
  if (done_ != drawnCount_) Draw();
  err_ << "\n";
  err_.flush();
  drawn_ = false;
  enabled_ = false;
}

void Progress::Draw() {
  err_ << "\r" << label_ << ": " << done_;
  if (total_ > 0) err_ << "/" << total_ << " (" << (done_ * 100 / total_) << "%)";
  err_ << " records\x1b[K";
  err_.flush();
  drawn_ = true;
  drawnCount_ = done_;
}

}  // namespace reclink::cli
