#pragma once
// Runs kill cycles: start a worker on a crash directory, kill it with SIGKILL
// at a random moment, check what the files hold against the side log.

#include <cstdint>
#include <string>
#include <vector>

#include "crash_checker.h"

namespace reclink::crash {

struct CrashRunOptions {
  std::string worker{};              // path of the crash worker executable
  std::string dir{};                 // crash directory (created files live here)
  int cycles = 200;                  // kill cycles to run
  uint64_t seed = 1;                 // seeds the delays and every worker
  int maxDelayMs = 40;               // kill at a uniform moment in [0, maxDelayMs] after ready
  unsigned storageKillPermille = 0;  // >0: workers also die inside storage writes
  bool accelerated = false;          // workers open the files in accelerated mode (-1)
};

struct CrashRunReport {
  CheckFigures figures;               // what the checker saw
  int killedByTimer = 0;              // cycles ended by the parent's SIGKILL
  int killedInStorage = 0;            // cycles where the worker died in a write
  std::vector<std::string> problems;  // one entry per failing cycle
};

// Creates the crash files afresh in options.dir and runs the cycles.
CrashRunReport RunCrashCycles(const CrashRunOptions& options);

// One-paragraph summary of a report, for test output and the soak script.
std::string Summarize(const CrashRunReport& report);

}  // namespace reclink::crash
