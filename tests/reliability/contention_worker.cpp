// The processes that share a database directory in the contention tests:
// child roles of the test program. Every library call one makes, and every
// message box the library shows, goes to its report file (the last
// argument) as one line, in the order they happened:
//
//   M <box text>                      a box was shown
//   P <i> <status> <number>           InsertPatientData of patient i
//
//   Numbering DIR WORKER PATIENTS REPORT
//   Hold DIR REPORT
//
// Hold begins a transaction, inserts patient 0000000001 named HELD, says
// "holding" and waits to be killed.

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "reclink/hooks.h"
#include "reclink/records/patient.h"
#include "support/child_process.h"

namespace reclink::test {
namespace {

FILE* g_report = nullptr;  // the report file

void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(g_report, format, args);
  va_end(args);
  std::fputc('\n', g_report);
  std::fflush(g_report);
}

void RecordBoxes() {
  reclink::SetMessageBoxHook([](const reclink::MessageBoxCall& box) {
    std::string text = box.text;
    for (char& c : text) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    Note("M %s", text.c_str());
  });
}

int Numbering(const char* dir, int worker, int patients) {
  CPatientDB patient(dir);
  if (patient.Open(BTR_OPEN_NORMAL) != 0) return 3;
  for (int i = 0; i < patients; ++i) {
    char* rec = patient.GetRecordBuffer();
    std::memset(rec, 0, CPatientDB::kRecordLength);
    std::snprintf(rec + 21, 41, "W%d-%d", worker, i);
    std::snprintf(rec + 62, 41, "KANA%d", i % 17);
    int st = patient.InsertPatientData();
    char number[11] = {};
    std::memcpy(number, rec, 10);
    Note("P %d %d %s", i, st, number);
  }
  return 0;
}

int Hold(const char* dir) {
  CPatientDB patient(dir);
  if (patient.Open(BTR_OPEN_NORMAL) != 0 || patient.BeginTran() != 0) return 3;
  char* rec = patient.GetRecordBuffer();
  std::memset(rec, 0, CPatientDB::kRecordLength);
  std::snprintf(rec, 21, "0000000001");
  std::snprintf(rec + 21, 41, "HELD");
  Note("H %d", patient.Insert());
  SendToParent("holding");
  ReceiveFromParent();  // killed before the parent says anything
  return 0;
}

// Runs work with the report file args.back() open and every box noted there.
int Reporting(const std::vector<std::string>& args, const std::function<int()>& work) {
  g_report = std::fopen(args.back().c_str(), "w");
  if (g_report == nullptr) return 2;
  RecordBoxes();
  const int rc = work();
  std::fclose(g_report);
  return rc;
}

}  // namespace

RECLINK_CHILD_ROLE(Numbering) {
  return Reporting(args, [&] {
    return Numbering(args[0].c_str(), std::stoi(args[1]), std::stoi(args[2]));
  });
}

RECLINK_CHILD_ROLE(Hold) {
  return Reporting(args, [&] { return Hold(args[0].c_str()); });
}

}  // namespace reclink::test
