#include "crash_harness.h"

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "os_util.h"
#include "reclink/btrieve.h"

namespace reclink::crash {

CrashRunReport RunCrashCycles(const CrashRunOptions& o) {
  CrashRunReport report;
  std::filesystem::create_directories(o.dir);
  std::filesystem::remove(LogName(o.dir));
  for (int f = 0; f < kFileCount; ++f) {
    if (int st = CreateRecordFile(o.dir, f); st != 0) {
      report.problems.push_back("create of crash file returned " + std::to_string(st));
      return report;
    }
  }
  CrashChecker checker(o.dir);
  std::mt19937_64 rng(o.seed);
  for (int cycle = 0; cycle < o.cycles; ++cycle) {
    uint64_t workerSeed = rng();
    std::error_code ec;
    uint64_t logStart = std::filesystem::exists(LogName(o.dir), ec)
                            ? std::filesystem::file_size(LogName(o.dir), ec)
                            : 0;
    int ready[2];
    if (pipe(ready) != 0) break;
    pid_t pid = test::Start({o.worker, o.dir, std::to_string(workerSeed), std::to_string(ready[1]),
                             std::to_string(o.storageKillPermille),
                             std::to_string(o.accelerated ? B_MODE_ACCELERATED : B_MODE_NORMAL)});
    close(ready[1]);
    if (pid < 0) {
      close(ready[0]);
      report.problems.push_back("cannot start the crash worker " + o.worker);
      break;
    }
    pollfd p{ready[0], POLLIN, 0};
    char c = 0;
    if (poll(&p, 1, 10000) == 1 && read(ready[0], &c, 1) == 1) {
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % (o.maxDelayMs * 1000 + 1)));
    }
    close(ready[0]);
    // A worker that is gone already died by its own hand (inside storage, or
    // by failing); otherwise the timer's kill ends it now.
    int wstatus = 0;
    bool diedAlone = waitpid(pid, &wstatus, WNOHANG) == pid;
    if (!diedAlone) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
    }
    std::string where =
        "cycle " + std::to_string(cycle) + " (worker seed " + std::to_string(workerSeed) + "): ";
    if (!WIFSIGNALED(wstatus) || WTERMSIG(wstatus) != SIGKILL) {
      report.problems.push_back(where + "worker ended by itself, status " +
                                std::to_string(WEXITSTATUS(wstatus)));
    } else {
      ++(diedAlone ? report.killedInStorage : report.killedByTimer);
    }
    // The cycle's log: from its start line on.
    std::string error;
    std::vector<LogEntry> log = ReadLog(LogName(o.dir), &error, logStart);
    while (!log.empty() && log.front().kind != LogEntry::kStart) log.erase(log.begin());
    // Every other cycle the check sees the files as the kill left them,
    // before any open has settled what a cut End left behind.
    std::string problem = cycle % 2 == 1 ? checker.CheckFileIntegrity() : "";
    if (problem.empty()) problem = error.empty() ? checker.CheckCycle(log) : error;
    if (problem.empty()) problem = checker.CheckFileIntegrity();
    if (!problem.empty()) report.problems.push_back(where + problem);
  }
  report.figures = checker.figures();
  return report;
}

std::string Summarize(const CrashRunReport& r) {
  const CheckFigures& f = r.figures;
  auto n = [](uint64_t v) { return std::to_string(v); };
  return n(f.cycles) + " cycles (" + n(r.killedByTimer) + " killed by timer, " +
         n(r.killedInStorage) + " inside a storage write); " + n(f.acknowledgedWrites) +
         " acknowledged writes, " + n(f.committedTransactions) + " committed transactions (" +
         n(f.multiFileCommits) + " over several files), " + n(f.abortedTransactions) +
         " aborted, " + n(f.cutTransactions) + " cut open; " + n(f.endsCut) + " Ends cut, " +
         n(f.splitCommits) + " of them split over files; " + n(f.recordsChecked) +
         " records read back and compared; " + n(f.fileChecks) + " file checks; " +
         n(r.problems.size()) + " problems";
}

}  // namespace reclink::crash
