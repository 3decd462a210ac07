#pragma once
// Replays a worker's side log against a model of the crash files and compares
// the model with what the files hold after the kill.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crash_workload.h"

namespace reclink::crash {

using DbState = std::array<FileState, kFileCount>;

// Figures of a run, summed over the cycles checked.
struct CheckFigures {
  uint64_t cycles = 0;                 // cycles checked
  uint64_t acknowledgedWrites = 0;     // writes outside a transaction that returned 0
  uint64_t committedTransactions = 0;  // End returned 0
  uint64_t multiFileCommits = 0;       // of those, transactions that wrote several files
  uint64_t abortedTransactions = 0;    // Abort returned 0
  uint64_t cutTransactions = 0;        // open when the kill came
  uint64_t endsCut = 0;                // Ends cut by the kill
  uint64_t recordsChecked = 0;         // records read back and compared
};

class CrashChecker {
 public:
  // dir holds the crash files; the model starts from the files as they are.
  explicit CrashChecker(std::string dir);

  // Folds one cycle's log entries (its start line first) into the model and
  // compares with the files: they must hold the state without the call in
  // flight or with it whole (for an End: over every file it wrote). Returns
  // an empty string, or what is wrong; the model then becomes what the files
  // hold, so later cycles are still judged.
  std::string CheckCycle(const std::vector<LogEntry>& cycle);

  // Runs the record-file check over every crash file.
  std::string CheckFileIntegrity();

  const CheckFigures& figures() const { return figures_; }

 private:
  std::string ReadFiles(DbState* out);

  std::string dir_;       // the crash directory
  DbState model_;         // what the files must hold after the last cycle
  CheckFigures figures_;  // running totals
};

}  // namespace reclink::crash
