// What a system's error codes mean to the engine, as a table of rows: one
// row per code that has a meaning of its own, any other is an I/O failure.
#pragma once

#include <cstddef>

#include "recman/os/os.h"

namespace recman::os {

// One row: a system error code (errno, GetLastError) and what it means.
template <typename Code>
struct ErrorMeaning {
  Code err;   // the system's code
  Fail fail;  // what it means
};

// The meaning of err in table; kIo for a code the table does not list.
template <typename Code, size_t N>
Fail MeaningOf(const ErrorMeaning<Code> (&table)[N], Code err) {
  for (const ErrorMeaning<Code>& row : table) {
    if (row.err == err) return row.fail;
  }
  return Fail::kIo;
}

}  // namespace recman::os
