#pragma once
// Replays a worker's side log against a model of the crash files and compares
// the model with what the files hold after the kill.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "crash_workload.h"

namespace reclink::crash {

// The records of every crash file: id -> generation.
using FileState = std::map<uint32_t, uint32_t>;
using DbState = std::array<FileState, kFileCount>;

// Figures of a run, summed over the cycles checked.
struct CheckFigures {
  uint64_t cycles = 0;                 // cycles checked
  uint64_t acknowledgedWrites = 0;     // writes outside a transaction that returned 0
  uint64_t committedTransactions = 0;  // End returned 0
  uint64_t multiFileCommits = 0;       // of those, transactions that wrote several files
  uint64_t abortedTransactions = 0;    // Abort returned 0
  uint64_t cutTransactions = 0;        // open when the kill came
  uint64_t inFlightApplied = 0;        // call cut by the kill whose effect is on file
  uint64_t inFlightDropped = 0;        // call cut by the kill that left no trace
  uint64_t endsCut = 0;                // Ends cut by the kill
  uint64_t splitCommits = 0;           // cut Ends that reached some of their files only
  uint64_t recordsChecked = 0;         // records read back and compared
  uint64_t fileChecks = 0;             // files passed through the record-file check
};

class CrashChecker {
 public:
  // dir holds the crash files; the model starts from the files as they are.
  // With atomicAcrossFiles off, an End cut by the kill may have reached some
  // of its files and not others (each file whole); it is counted, not failed.
  explicit CrashChecker(std::string dir, bool atomicAcrossFiles = true);

  // Reads the files into *out through the record interface, verifying each
  // record's image and that every key path and the physical order agree.
  // Returns an empty string, or what is wrong.
  std::string ReadFiles(DbState* out);

  // Folds one cycle's log entries (its start line first) into the model and
  // compares with the files. Returns an empty string, or what is wrong; on a
  // problem the model is reset to what the files hold, so later cycles are
  // still judged.
  std::string CheckCycle(const std::vector<LogEntry>& cycle);

  // Runs the record-file check over every crash file.
  std::string CheckFileIntegrity();

  const CheckFigures& figures() const { return figures_; }
  const DbState& model() const { return model_; }
  // What each split commit looked like, one line per cycle.
  const std::vector<std::string>& splits() const { return splits_; }

 private:
  std::string dir_;                  // the crash directory
  bool atomicAcrossFiles_;           // whether a cut End must be all or nothing over files
  DbState model_;                    // what the files must hold after the last cycle
  CheckFigures figures_;             // running totals
  std::vector<std::string> splits_;  // descriptions of split commits seen
};

// Describes how two states differ (at most a few ids per file).
std::string DescribeDifference(const DbState& expected, const DbState& actual);

}  // namespace reclink::crash
