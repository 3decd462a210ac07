// Crash safety: workers killed with SIGKILL at random moments, and inside the
// storage's own writes, never lose an acknowledged write or a committed
// transaction and never leave a trace of one that did not commit. The
// workload is a fixed sequence of steps (crash_workload.h), so the state of
// the files after each step is known. Each kill cycle starts a worker
// (crash_worker.cpp) at the step after the one the files hold and kills it;
// the files must then hold the state after the last step the worker
// acknowledged, or, when the next step's lone write or End was in flight,
// the state after that step: nothing else.
//
// The environment sets the length of a longer run (scripts/crash-soak):
// RECLINK_CRASH_CYCLES, RECLINK_CRASH_STORAGE_CYCLES, RECLINK_CRASH_SEED, and
// RECLINK_CRASH_DIR, a directory in which the crash directories are made (and
// kept when a run finds a problem) instead of in memory.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "crash_workload.h"
#include "kill_vfs.h"
#include "support/child_process.h"

namespace reclink::crash {
namespace {

using test::ChildProcess;
using namespace std::chrono_literals;

// What a run did, summed over its cycles.
struct Figures {
  uint64_t cycles = 0;              // cycles checked
  uint64_t killedInStorage = 0;     // cycles where the worker died in a storage write
  uint64_t acknowledgedWrites = 0;  // lone writes that returned 0
  uint64_t commits = 0;             // transactions whose End returned 0
  uint64_t multiFileCommits = 0;    // of those, transactions that wrote several files
  uint64_t aborts = 0;              // transactions whose Abort returned 0
  uint64_t cutTransactions = 0;     // transaction steps under way at the kill
  uint64_t endsCut = 0;             // of those, steps whose End was in flight
};

std::string Summarize(const Figures& f, const std::string& problem) {
  auto n = [](uint64_t v) { return std::to_string(v); };
  return n(f.cycles) + " cycles (" + n(f.cycles - f.killedInStorage) + " killed by timer, " +
         n(f.killedInStorage) + " inside a storage write); " + n(f.acknowledgedWrites) +
         " acknowledged writes, " + n(f.commits) + " committed transactions (" + n(f.multiFileCommits) +
         " over several files), " + n(f.aborts) + " aborted, " + n(f.cutTransactions) + " cut open, " +
         n(f.endsCut) + " cut in End; " + (problem.empty() ? "no problems" : "a problem");
}

// Counts an acknowledged step.
void Count(const Step& step, Figures* f) {
  std::set<int> files;
  for (const Write& w : step.writes) files.insert(w.file);
  ++(!step.transaction ? f->acknowledgedWrites : step.abort ? f->aborts : f->commits);
  f->multiFileCommits += step.transaction && !step.abort && files.size() > 1;
}

// How got differs from want, at most six ids per file ("none": no record of
// that id).
std::string Difference(const DbState& want, const DbState& got) {
  auto generation = [](const FileState& file, uint32_t id) {
    const auto it = file.find(id);
    return it == file.end() ? std::string("none") : std::to_string(it->second);
  };
  std::string out;
  for (int f = 0; f < kFileCount; ++f) {
    for (uint32_t id = 1, shown = 0; id <= kIdRange && shown < 6; ++id) {
      if (generation(want[f], id) != generation(got[f], id)) {
        out += "  file " + std::to_string(f) + " id " + std::to_string(id) + ": generation " +
               generation(got[f], id) + ", expected " + generation(want[f], id) + "\n";
        ++shown;
      }
    }
  }
  return out;
}

// The record-file check over every crash file: an empty string, or what is wrong.
std::string CheckFiles(const std::string& dir) {
  std::string problems;
  for (int f = 0; f < kFileCount; ++f) {
    std::string found;
    if (const int n = CheckRecordFile(FileName(dir, f), &found); n != 0) {
      problems += FileName(dir, f) + ": check found " + std::to_string(n) + " problem(s)\n" + found;
    }
  }
  return problems;
}

struct CrashRunOptions {
  int cycles = 200;                  // kill cycles to run
  int maxDelayMs = 40;               // kill at a uniform moment in [0, maxDelayMs] after ready
  unsigned storageKillPermille = 0;  // >0: workers also die inside storage writes
};

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Creates the crash files afresh and runs the cycles in a crash directory in
// memory when the machine has one: a SIGKILL leaves the page cache intact, so
// what a killed process wrote is the same on tmpfs as on disk, and cycles do
// many times more work without waiting for syncs. The run stops at the first
// problem; it must be clean and must have reached every kind of outcome it
// claims to judge.
Figures RunClean(CrashRunOptions o, const char* cyclesVariable, int seedOffset) {
  const char* kept = std::getenv("RECLINK_CRASH_DIR");
  std::string base = std::filesystem::temp_directory_path().string();
  if (access("/dev/shm", W_OK) == 0) base = "/dev/shm";
  if (kept && *kept) base = kept;
  std::string dir = base + "/reclink-crash-XXXXXX";
  EXPECT_NE(mkdtemp(dir.data()), nullptr);
  o.cycles = EnvInt(cyclesVariable, o.cycles);
  for (int f = 0; f < kFileCount; ++f) {
    if (const int st = CreateRecordFile(dir, f); st != 0) {
      ADD_FAILURE() << "creating " << FileName(dir, f) << " gave status " << st << ", " << BtrStatusText(st);
      return {};
    }
  }

  const int runSeed = EnvInt("RECLINK_CRASH_SEED", 20261206);
  const uint64_t seed = static_cast<uint64_t>(runSeed) + seedOffset;
  std::mt19937_64 rng(seed);  // kill moments and kill points
  Figures fig;
  std::string problem;
  DbState model;  // what the files hold: the state after step `at`
  uint32_t at = 0;
  for (int cycle = 0; cycle < o.cycles && problem.empty(); ++cycle) {
    const std::string where = "cycle " + std::to_string(cycle) + " (RECLINK_CRASH_SEED=" +
                              std::to_string(runSeed) + ", from step " + std::to_string(at + 1) + "): ";
    ChildProcess worker("CrashWorker", {dir, std::to_string(seed), std::to_string(at + 1),
                                        std::to_string(o.storageKillPermille), std::to_string(rng())});
    uint32_t acknowledged = at, ending = 0;
    bool inStorage = false;
    auto hear = [&](const std::optional<std::string>& line) {
      if (line) {
        std::sscanf(line->c_str(), "done %u", &acknowledged);
        std::sscanf(line->c_str(), "ending %u", &ending);
        inStorage |= *line == kKilledInStorage;
      }
      return line.has_value();
    };
    if (hear(worker.Receive(10s)) && !inStorage) {
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % (o.maxDelayMs * 1000 + 1)));
    }
    // A worker that died inside storage said so; otherwise the timer's kill
    // ends it now. What it said before the kill is still to be read.
    worker.Kill();
    while (hear(worker.Receive(0ms))) {
    }
    if (const int code = worker.Wait(); code != ChildProcess::kKilled) {
      problem = where + "worker ended by itself, status " + std::to_string(code);
      break;
    }
    fig.killedInStorage += inStorage;
    for (uint32_t n = at + 1; n <= acknowledged; ++n) {
      const Step step = MakeStep(seed, n);
      Count(step, &fig);
      Apply(step, &model);
    }
    // The next step was under way: a lone write or an End in flight may have
    // taken effect, as a whole.
    const Step next = MakeStep(seed, acknowledged + 1);
    DbState after = model;
    if (!next.transaction || ending == next.number) Apply(next, &after);
    fig.cutTransactions += next.transaction;
    fig.endsCut += ending == next.number;

    // Every other cycle the check sees the files as the kill left them,
    // before any open has settled what a cut End left behind.
    problem = cycle % 2 == 1 ? CheckFiles(dir) : "";
    DbState actual;
    for (int f = 0; f < kFileCount && problem.empty(); ++f) {
      problem = ReadRecordFile(FileName(dir, f), f, &actual[f]);
    }
    if (problem.empty() && actual != model && actual != after) {
      problem = "files hold neither the state after step " + std::to_string(acknowledged) +
                ", the last acknowledged:\n" + Difference(model, actual);
      if (after != model) {
        problem += "nor the state after step " + std::to_string(next.number) + ":\n" +
                   Difference(after, actual);
      }
    }
    if (problem.empty()) problem = CheckFiles(dir);
    if (!problem.empty()) problem = where + problem;
    at = actual == model ? acknowledged : acknowledged + 1;
    model = actual;
    ++fig.cycles;
  }

  if (problem.empty() || !kept) std::filesystem::remove_all(dir);
  std::printf("%s\n", Summarize(fig, problem).c_str());
  if (!problem.empty()) {
    ADD_FAILURE() << problem << (kept ? "\nthe crash directory is kept: " + dir : "");
    return fig;
  }
  for (uint64_t seen : {fig.acknowledgedWrites, fig.multiFileCommits, fig.aborts, fig.cutTransactions,
                        fig.endsCut}) {
    EXPECT_GT(seen, 0u) << "an outcome the run never reached: " << Summarize(fig, problem);
  }
  return fig;
}

TEST(CrashSafety, TimerKillsKeepEveryAcknowledgedWriteAndNoUncommittedOne) {
  RunClean({.cycles = 200}, "RECLINK_CRASH_CYCLES", 0);
}

TEST(CrashSafety, KillsInsideStorageWritesCutCommitsCleanly) {
  const Figures f = RunClean({.cycles = 100, .maxDelayMs = 150, .storageKillPermille = 10},
                             "RECLINK_CRASH_STORAGE_CYCLES", 1);
  EXPECT_GT(f.killedInStorage, f.cycles / 3);
}

}  // namespace
}  // namespace reclink::crash
