// A target that cannot be written is blamed for it, with the system's reason.
// Linux only: the read-only file system is a tmpfs mounted for the test
// (mounts.h), which needs root; skipped without.
#include <gtest/gtest.h>

#include "command_test_support.h"
#include "mounts.h"

namespace reclink::cli::test {
namespace {

TEST(Commands, BlameAReadOnlyTarget) {
  reclink::test::TmpfsMount m(4 << 20);
  if (!m.ok()) GTEST_SKIP() << m.why();
  ASSERT_EQ(Reclink({"init", m.file("db")}).status, 0);
  const std::string file = m.file("db/CONDITION.BTR");
  Spit(m.file("in.seq"), "64,r" + std::string(63, '\0') + "\r\n\x1a");
  ASSERT_TRUE(m.SetReadOnly(true));
  const std::string readOnly = ": read-only file system";
  ExpectEach(1, {
      {{"load", m.file("in.seq"), file}, "cannot write " + file + readOnly},
      {{"save", file, m.file("out.seq")}, "cannot write " + m.file("out.seq") + readOnly},
      {{"clone", m.file("db/NEW.BTR"), file}, "cannot create " + m.file("db/NEW.BTR") + readOnly},
      {{"init", m.file("db2")}, "cannot make directory " + m.file("db2") + readOnly},
  });
  ASSERT_TRUE(m.SetReadOnly(false));
  EXPECT_TRUE(ReadAll(file).empty());
}

}  // namespace
}  // namespace reclink::cli::test
