#pragma once
// The record-file check, as the tests run it over files they damaged, filled
// or crashed.

#include <string>

namespace reclink::test {

// Runs the record manager's file check over path. Returns the number of
// problems (0 = sound, -1 = not a record file) and appends each problem as a
// line to *problems.
int CheckRecordFile(const std::string& path, std::string* problems);

}  // namespace reclink::test
