// The main of every test program: a child role when the program was started
// as one (child_process.h), else GoogleTest.
#include <gtest/gtest.h>

#include "support/child_process.h"

int main(int argc, char** argv) {
  if (std::optional<int> code = reclink::test::RunChildRole(argc, argv)) return *code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
