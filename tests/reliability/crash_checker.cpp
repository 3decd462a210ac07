#include "crash_checker.h"

#include <cstring>
#include <optional>
#include <set>

#include "file_check.h"
#include "reclink/btrieve.h"

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

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Walks one open file along key keyNum (or physical order when step) and
// collects id -> generation; verifies every record image on the way.
std::string Walk(uint8_t* pos, int f, int keyNum, bool step, FileState* out) {
  uint16_t first = step ? B_STEP_FIRST : B_GET_FIRST;
  uint16_t next = step ? B_STEP_NEXT : B_GET_NEXT;
  std::string lastTag;
  uint32_t lastId = 0;
  uint8_t key[B_MAX_KEY_LENGTH + 1] = {};
  for (int st = -1, n = 0;; ++n) {
    uint8_t data[kRecordLength + 16];
    uint32_t len = sizeof data;
    st = BTRCALL(n == 0 ? first : next, pos, data, &len, key, B_MAX_KEY_LENGTH,
                 static_cast<int8_t>(keyNum));
    if (st == B_END_OF_FILE) return "";
    std::string where = "file " + std::to_string(f) + (step ? " step" : " key ") +
                        (step ? "" : std::to_string(keyNum)) + ": ";
    if (st != 0) return where + "read returned status " + std::to_string(st);
    if (len != kRecordLength) return where + "record of length " + std::to_string(len);
    uint32_t id = ReadU32(data);
    uint32_t gen = ReadU32(data + kGenOffset);
    if (MakeRecord(f, id, gen) != std::vector<uint8_t>(data, data + kRecordLength)) {
      return where + "record " + std::to_string(id) + " is torn or foreign";
    }
    if (!out->emplace(id, gen).second) {
      return where + "record " + std::to_string(id) + " seen twice";
    }
    std::string tag(reinterpret_cast<char*>(data + kTagOffset));
    if (!step && keyNum == 0 && n > 0 && id <= lastId) {
      return where + "ids out of order at " + std::to_string(id);
    }
    if (!step && keyNum == 1 && n > 0 && tag < lastTag) {
      return where + "tags out of order at " + std::to_string(id);
    }
    lastId = id;
    lastTag = tag;
  }
}

}  // namespace

CrashChecker::CrashChecker(std::string dir, bool atomicAcrossFiles)
    : dir_(std::move(dir)), atomicAcrossFiles_(atomicAcrossFiles) {
  DbState actual;
  if (ReadFiles(&actual).empty()) model_ = actual;
}

std::string CrashChecker::ReadFiles(DbState* out) {
  std::string problem;
  for (int f = 0; f < kFileCount && problem.empty(); ++f) {
    uint8_t pos[B_POSITION_BLOCK_SIZE] = {};
    char key[B_MAX_KEY_LENGTH + 1] = {};
    std::snprintf(key, sizeof key, "%s", FileName(dir_, f).c_str());
    uint32_t len = 0;
    int st = BTRCALL(B_OPEN, pos, nullptr, &len, key, B_MAX_KEY_LENGTH, B_MODE_NORMAL);
    if (st != 0) return "open of file " + std::to_string(f) + " returned " + std::to_string(st);
    FileState byKey0, byKey1, byStep;
    problem = Walk(pos, f, 0, false, &byKey0);
    if (problem.empty()) problem = Walk(pos, f, 1, false, &byKey1);
    if (problem.empty()) problem = Walk(pos, f, 0, true, &byStep);
    if (problem.empty() && (byKey0 != byKey1 || byKey0 != byStep)) {
      problem = "file " + std::to_string(f) + ": key 0, key 1 and physical order disagree";
    }
    (*out)[f] = byKey0;
    figures_.recordsChecked += byKey0.size();
    len = 0;
    st = BTRCALL(B_CLOSE, pos, nullptr, &len, key, B_MAX_KEY_LENGTH, 0);
    if (st != 0 && problem.empty()) problem = "close returned " + std::to_string(st);
  }
  return problem;
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
    switch (call.kind) {
      case LogEntry::kBegin:
        inTransaction = e.status == 0;
        pending.clear();
        break;
      case LogEntry::kEnd: {
        std::set<int> files;
        for (const LogEntry& w : pending) {
          Apply(&committed, w);
          files.insert(w.file);
        }
        figures_.committedTransactions++;
        if (files.size() > 1) figures_.multiFileCommits++;
        pending.clear();
        inTransaction = false;
        break;
      }
      case LogEntry::kAbort:
        figures_.abortedTransactions++;
        pending.clear();
        inTransaction = false;
        break;
      default:
        if (inTransaction) {
          pending.push_back(call);
        } else {
          Apply(&committed, call);
          figures_.acknowledgedWrites++;
        }
        break;
    }
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
  if (actual == committed) {
    if (withCall) figures_.inFlightDropped++;
  } else if (withCall && actual == *withCall) {
    figures_.inFlightApplied++;
  } else {
    // Each file on its own must be before or after the call; a cut End may
    // have reached only some of its files.
    std::string reached, missed;
    bool eachWhole = true;
    for (int f = 0; f < kFileCount; ++f) {
      bool before = actual[f] == committed[f];
      bool after = withCall && actual[f] == (*withCall)[f];
      eachWhole = eachWhole && (before || after);
      if (after && !before) reached += " " + std::to_string(f);
      if (before && !after) missed += " " + std::to_string(f);
    }
    bool split = eachWhole && open && open->kind == LogEntry::kEnd;
    if (split) {
      figures_.splitCommits++;
      splits_.push_back("End " + std::to_string(open->seq) + " reached file(s)" + reached +
                        " but not" + missed);
    }
    if (!split || atomicAcrossFiles_) {
      problems += "files hold neither allowed outcome";
      if (open) problems += " (in flight: " + Describe(*open) + ")";
      if (split)
        problems +=
            ": a transaction cut in its End reached file(s)" + reached + " but not" + missed;
      problems += "\nagainst the state before:\n" + DescribeDifference(committed, actual);
      if (withCall) {
        problems += "against the state after:\n" + DescribeDifference(*withCall, actual);
      }
    }
  }
  model_ = actual;
  return problems;
}

std::string CrashChecker::CheckFileIntegrity() {
  std::string problems;
  for (int f = 0; f < kFileCount; ++f) {
    std::string sink;
    std::string path = FileName(dir_, f);
    int found = test::CheckRecordFile(path, &sink);
    figures_.fileChecks++;
    if (found != 0) {
      problems += path + ": check found " + std::to_string(found) + " problem(s)\n" + sink;
    }
  }
  return problems;
}

std::string DescribeDifference(const DbState& expected, const DbState& actual) {
  std::string out;
  for (int f = 0; f < kFileCount; ++f) {
    int shown = 0;
    auto note = [&](uint32_t id, const char* what) {
      if (shown++ < 6)
        out += "  file " + std::to_string(f) + " id " + std::to_string(id) + ": " + what + "\n";
    };
    for (const auto& [id, gen] : expected[f]) {
      auto it = actual[f].find(id);
      if (it == actual[f].end()) {
        note(id, "missing");
      } else if (it->second != gen) {
        note(id, ("generation " + std::to_string(it->second) + ", expected " + std::to_string(gen))
                     .c_str());
      }
    }
    for (const auto& [id, gen] : actual[f]) {
      if (!expected[f].count(id))
        note(id, ("unexpected, generation " + std::to_string(gen)).c_str());
    }
  }
  return out;
}

}  // namespace reclink::crash
