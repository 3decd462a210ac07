// The progress line: drawn in place on a terminal, silent elsewhere.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress.h"

namespace reclink::cli {
namespace {

TEST(Progress, DrawsOnlyWhenEnabledAndEndsItsLine) {
  std::ostringstream quiet;
  {
    Progress p(quiet, false, "saving F", 10);
    p.Update(5);
    p.Finish();
  }
  EXPECT_EQ(quiet.str(), "");

  std::ostringstream shown;
  {
    Progress p(shown, true, "saving F", 4);
    p.Update(1);
    p.Update(4);  // within 100 ms of the first: not drawn until Finish
  }
  EXPECT_EQ(shown.str(),
            "\rsaving F: 1/4 (25%) records\x1b[K\rsaving F: 4/4 (100%) records\x1b[K\n");

  std::ostringstream unknown;
  Progress p(unknown, true, "loading", 0);
  p.Update(7);
  p.Finish();
  p.Finish();  // once only
  EXPECT_EQ(unknown.str(), "\rloading: 7 records\x1b[K\n");
}

}  // namespace
}  // namespace reclink::cli
