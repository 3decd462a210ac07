#include "crash_harness.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "reclink/btrieve.h"

extern char** environ;

namespace reclink::crash {
namespace {

// Starts the worker; returns its pid (or -1) and the read end of its ready pipe.
pid_t Spawn(const CrashRunOptions& o, uint64_t seed, int* readyFd) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  std::string seedText = std::to_string(seed);
  std::string fdText = std::to_string(fds[1]);
  std::string permille = std::to_string(o.storageKillPermille);
  std::string mode = std::to_string(o.accelerated ? B_MODE_ACCELERATED : B_MODE_NORMAL);
  std::vector<char*> argv = {const_cast<char*>(o.worker.c_str()),
                             const_cast<char*>(o.dir.c_str()),
                             seedText.data(),
                             fdText.data(),
                             permille.data(),
                             mode.data(),
                             nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = -1;
  if (posix_spawn(&pid, o.worker.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  *readyFd = fds[0];
  return pid;
}

// The log entries from the last start line on.
std::vector<LogEntry> LastCycle(const std::vector<LogEntry>& log) {
  size_t start = log.size();
  while (start > 0 && log[start - 1].kind != LogEntry::kStart) --start;
  if (start == 0) return {};
  return std::vector<LogEntry>(log.begin() + static_cast<long>(start) - 1, log.end());
}

}  // namespace

CrashRunReport RunCrashCycles(const CrashRunOptions& o) {
  CrashRunReport report;
  std::filesystem::create_directories(o.dir);
  std::filesystem::remove(LogName(o.dir));
  for (int f = 0; f < kFileCount; ++f) {
    int st = CreateRecordFile(o.dir, f);
    if (st != 0) {
      report.problems.push_back("create of crash file returned " + std::to_string(st));
      return report;
    }
  }
  CrashChecker checker(o.dir, o.atomicAcrossFiles);
  std::mt19937_64 rng(o.seed);
  for (int cycle = 0; cycle < o.cycles; ++cycle) {
    uint64_t workerSeed = rng();
    std::error_code ec;
    uint64_t logStart = std::filesystem::exists(LogName(o.dir), ec)
                            ? std::filesystem::file_size(LogName(o.dir), ec)
                            : 0;
    int readyFd = -1;
    pid_t pid = Spawn(o, workerSeed, &readyFd);
    if (pid < 0) {
      report.problems.push_back("cannot start the crash worker " + o.worker);
      break;
    }
    pollfd p{readyFd, POLLIN, 0};
    char ready = 0;
    bool isReady = poll(&p, 1, 10000) == 1 && read(readyFd, &ready, 1) == 1;
    close(readyFd);
    if (isReady) {
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % (o.maxDelayMs * 1000 + 1)));
    }
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
    } else if (diedAlone) {
      report.killedInStorage++;
    } else {
      report.killedByTimer++;
    }
    std::string error;
    std::vector<LogEntry> cycleLog = LastCycle(ReadLog(LogName(o.dir), &error, logStart));
    // Every other cycle the check sees the files as the kill left them,
    // before any open has settled what a cut End left behind.
    std::string problem = o.checkFiles && cycle % 2 == 1 ? checker.CheckFileIntegrity() : "";
    if (problem.empty()) problem = error.empty() ? checker.CheckCycle(cycleLog) : error;
    if (problem.empty() && o.checkFiles) problem = checker.CheckFileIntegrity();
    if (!problem.empty()) report.problems.push_back(where + problem);
  }
  report.figures = checker.figures();
  report.splits = checker.splits();
  return report;
}

std::string Summarize(const CrashRunReport& r) {
  const CheckFigures& f = r.figures;
  char text[768];
  std::snprintf(text, sizeof text,
                "%llu cycles (%d killed by timer, %d inside a storage write); %llu acknowledged "
                "writes, %llu committed transactions (%llu over several files), %llu aborted, "
                "%llu cut open; %llu Ends cut, %llu of them split over files; in-flight calls: "
                "%llu applied whole, %llu left no "
                "trace; %llu records read back and compared; %llu file checks; %zu problems",
                (unsigned long long)f.cycles, r.killedByTimer, r.killedInStorage,
                (unsigned long long)f.acknowledgedWrites,
                (unsigned long long)f.committedTransactions, (unsigned long long)f.multiFileCommits,
                (unsigned long long)f.abortedTransactions, (unsigned long long)f.cutTransactions,
                (unsigned long long)f.endsCut, (unsigned long long)f.splitCommits,
                (unsigned long long)f.inFlightApplied, (unsigned long long)f.inFlightDropped,
                (unsigned long long)f.recordsChecked, (unsigned long long)f.fileChecks,
                r.problems.size());
  return text;
}

}  // namespace reclink::crash
