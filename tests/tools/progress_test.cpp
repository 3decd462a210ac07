// The progress line on a terminal, paced by a clock the test moves. (That it
// stays silent elsewhere, every command test shows.)
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress.h"

namespace reclink::cli {
namespace {

std::chrono::steady_clock::time_point gNow;  // what FakeNow tells
std::chrono::steady_clock::time_point FakeNow() { return gNow; }

TEST(Progress, RedrawsAtMostTenTimesASecondAndEndsItsLine) {
  using std::chrono::milliseconds;
  std::ostringstream shown;
  {
    Progress p(shown, true, "saving F", 4, &FakeNow);
    p.Update(1);
    gNow += milliseconds(99);
    p.Update(2);  // too soon after the first drawing
    gNow += milliseconds(1);
    p.Update(3);
    p.Update(4);  // drawn when the line is finished
  }
  EXPECT_EQ(shown.str(), "\rsaving F: 1/4 (25%) records\x1b[K\rsaving F: 3/4 (75%) records\x1b[K"
                         "\rsaving F: 4/4 (100%) records\x1b[K\n");

  std::ostringstream unknown;
  Progress p(unknown, true, "loading", 0, &FakeNow);
  p.Update(7);
  p.Finish();
  p.Finish();  // once only
  EXPECT_EQ(unknown.str(), "\rloading: 7 records\x1b[K\n");
}

}  // namespace
}  // namespace reclink::cli
