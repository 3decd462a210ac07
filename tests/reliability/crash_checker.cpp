#include "crash_checker.h"

#include <optional>
#include <set>

namespace reclink::crash {
namespace {

void Apply(DbState* state, const LogEntry& e) {
  if (e.kind == LogEntry::kDelete) {
    (*state)[e.file].erase(e.id);
  } else {
    (*state)[e.file][e.id] = e.gen;
  }
}

bool IsWrite(const LogEntry& e) {
  return e.kind == LogEntry::kInsert || e.kind == LogEntry::kUpdate || e.kind == LogEntry::kDelete;
}

std::string Describe(const LogEntry& e) {
  std::string s = FormatEntry(e);
  s.pop_back();
  return s;
}

// How actual differs from expected, at most six ids per file.
std::string Difference(const DbState& expected, const DbState& actual) {
  std::string out;
  for (int f = 0; f < kFileCount; ++f) {
    std::set<uint32_t> ids;
    for (const auto& [id, gen] : expected[f]) ids.insert(id);
    for (const auto& [id, gen] : actual[f]) ids.insert(id);
    int shown = 0;
    for (uint32_t id : ids) {
      auto e = expected[f].find(id), a = actual[f].find(id);
      bool hasE = e != expected[f].end(), hasA = a != actual[f].end();
      if ((hasE && hasA && e->second == a->second) || shown++ >= 6) continue;
      out += "  file " + std::to_string(f) + " id " + std::to_string(id) + ": " +
             (!hasA   ? std::string("missing")
              : !hasE ? "unexpected, generation " + std::to_string(a->second)
                      : "generation " + std::to_string(a->second) + ", expected " +
                            std::to_string(e->second)) +
             "\n";
    }
  }
  return out;
}

}  // namespace

CrashChecker::CrashChecker(std::string dir) : dir_(std::move(dir)) {
  DbState actual;
  if (ReadFiles(&actual).empty()) model_ = actual;
}

std::string CrashChecker::ReadFiles(DbState* out) {
  for (int f = 0; f < kFileCount; ++f) {
    std::string problem = ReadRecordFile(FileName(dir_, f), f, &(*out)[f]);
    figures_.recordsChecked += (*out)[f].size();
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string CrashChecker::CheckCycle(const std::vector<LogEntry>& cycle) {
  std::string problems;
  DbState committed = model_;
  std::vector<LogEntry> pending;  // acknowledged writes of the open transaction
  bool inTransaction = false;
  std::optional<LogEntry> open;  // intent whose result never came
  for (const LogEntry& e : cycle) {
    if (e.kind == LogEntry::kStart) continue;
    if (e.kind != LogEntry::kResult) {
      if (open) problems += "intent without result: " + Describe(*open) + "\n";
      open = e;
      continue;
    }
    if (!open || open->seq != e.seq) {
      problems += "result without intent: " + Describe(e) + "\n";
      continue;
    }
    LogEntry call = *open;
    open.reset();
    if (e.status != 0) {
      problems += Describe(call) + " returned status " + std::to_string(e.status) + "\n";
      if (call.kind != LogEntry::kBegin) continue;
    }
    if (call.kind == LogEntry::kEnd) {
      std::set<int> files;
      for (const LogEntry& w : pending) {
        Apply(&committed, w);
        files.insert(w.file);
      }
      figures_.committedTransactions++;
      if (files.size() > 1) figures_.multiFileCommits++;
    } else if (call.kind == LogEntry::kAbort) {
      figures_.abortedTransactions++;
    } else if (call.kind != LogEntry::kBegin && inTransaction) {
      pending.push_back(call);
      continue;
    } else if (call.kind != LogEntry::kBegin) {
      Apply(&committed, call);
      figures_.acknowledgedWrites++;
      continue;
    }
    inTransaction = call.kind == LogEntry::kBegin && e.status == 0;
    pending.clear();
  }
  // The kill came while `open` was in flight: its effect may or may not be
  // there, but only as a whole.
  std::optional<DbState> withCall;
  if (open && IsWrite(*open) && !inTransaction) {
    withCall = committed;
    Apply(&*withCall, *open);
  } else if (open && open->kind == LogEntry::kEnd) {
    withCall = committed;
    for (const LogEntry& w : pending) Apply(&*withCall, w);
    figures_.endsCut++;
  }
  if (inTransaction) figures_.cutTransactions++;
  figures_.cycles++;

  DbState actual;
  std::string readProblem = ReadFiles(&actual);
  if (!readProblem.empty()) problems += readProblem + "\n";
  if (actual != committed && !(withCall && actual == *withCall)) {
    problems += "files hold neither allowed outcome";
    if (open) problems += " (in flight: " + Describe(*open) + ")";
    problems += "\nagainst the state before:\n" + Difference(committed, actual);
    if (withCall) problems += "against the state after:\n" + Difference(*withCall, actual);
  }
  model_ = actual;
  return problems;
}

std::string CrashChecker::CheckFileIntegrity() {
  std::string problems;
  for (int f = 0; f < kFileCount; ++f) {
    std::string sink;
    std::string path = FileName(dir_, f);
    int found = CheckRecordFile(path, &sink);
    if (found != 0) {
      problems += path + ": check found " + std::to_string(found) + " problem(s)\n" + sink;
    }
  }
  return problems;
}

}  // namespace reclink::crash
