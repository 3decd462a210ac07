#pragma once
// The record manager's call scripts, scripts/*.test (their notation is at
// the top of script_runner.cpp).

#include <string>

namespace reclink::test {

// Runs scripts/NAME.test in a directory of its own against the backend the
// suite runs on; each line that fails is a test failure naming it.
void RunCallScript(const std::string& name);

}  // namespace reclink::test
