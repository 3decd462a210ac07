// One of the processes that share a database directory in the contention
// tests. Every library call it makes, and every message box the library
// shows, goes to its report file as one line, in the order they happened:
//
//   M <box text>                      a box was shown
//   P <i> <status> <number>           InsertPatientData of patient i
//   F <patient key> <number> <status> <tag>   Insert of a photo numbered by GetNextPhotoNo
//
//   contention_worker numbering DIR WORKER PATIENTS PHOTOS REPORT
//   contention_worker update DIR NAME READY_FD GO_FD ROUNDS REPORT
//   contention_worker hold DIR READY_FD REPORT
//
// In "update" mode the worker rewrites patient 0000000001 with its own name
// through the numbered interface. When GO_FD is not -1 it writes to READY_FD
// right before its first Update reaches the record manager and waits for a
// byte on GO_FD first, so that a rival can change the record in between.
//
// In "hold" mode the worker begins a transaction, inserts patient 0000000001
// named HELD, writes to READY_FD and waits to be killed.

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "reclink/rec_link.h"
#include "reclink/records/patient.h"
#include "reclink/records/photo.h"

namespace {

FILE* g_report = nullptr;  // the report file
int g_readyFd = -1;        // update mode: told when the first Update is due
int g_goFd = -1;           // update mode: waited on before that Update
int g_conflicts = 0;       // 80s the record manager returned

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

int Numbering(const char* dir, int worker, int patients, int photos) {
  CPatientDB patient(dir);
  CPhotoDB photo(dir);
  if (patient.Open(BTR_OPEN_NORMAL) != 0 || photo.Open(BTR_OPEN_NORMAL) != 0) return 3;
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
  // Photos of four shared patients: every worker numbers photos of the same
  // patients, so numbers collide and the loser's Insert meets 5.
  for (int j = 0; j < photos; ++j) {
    char key[21];
    std::snprintf(key, sizeof key, "SHARED-%d", (j + worker) % 4);
    for (int attempt = 0; attempt < 10000; ++attempt) {
      int number = photo.GetNextPhotoNo(key);
      char* rec = photo.GetRecordBuffer();
      std::memset(rec, 0, CPhotoDB::kRecordLength);
      std::snprintf(rec, 21, "%s", key);
      std::snprintf(rec + 21, 11, "%010d", number);
      std::snprintf(rec + 44, 21, "W%d-%d", worker, j);
      photo.SetDataLength(CPhotoDB::kRecordLength);
      int st = photo.Insert();
      Note("F %s %d %d W%d-%d", key, number, st, worker, j);
      if (st != B_DUPLICATE_KEY_VALUE) break;
    }
  }
  return 0;
}

// Between the library and the record manager: counts conflicts and, once,
// lets a rival write before the Update goes through.
int Entry(uint16_t op, void* pos, void* data, uint32_t* len, void* key, uint8_t keyLen,
          int8_t keyNum) {
  if (op == B_UPDATE && g_goFd >= 0) {
    char c = 'r';
    if (write(g_readyFd, &c, 1) != 1 || read(g_goFd, &c, 1) != 1) std::abort();
    g_goFd = -1;
  }
  int st = BTRCALL(op, pos, data, len, key, keyLen, keyNum);
  if (st == B_CONFLICT) ++g_conflicts;
  return st;
}

int Update(const char* dir, const char* name, int rounds) {
  CRecLink link;
  std::string path = std::string(dir) + "PATIENT1.BTR";
  if (link.DB_Open(path.c_str(), 110) != 0) return 3;
  reclink::SetBtrieveEntry(Entry);
  static char rec[3600];
  for (int r = 0; r < rounds; ++r) {
    std::memset(rec, 0, sizeof rec);
    std::snprintf(rec, 21, "0000000001");
    std::snprintf(rec + 21, 41, "%s-%d", name, r);
    int st = link.DB_Update(110, rec);
    Note("U %d %d", r, st);
  }
  Note("C %d", g_conflicts);
  link.DB_Close(110);
  return 0;
}

int Hold(const char* dir, int readyFd) {
  CPatientDB patient(dir);
  if (patient.Open(BTR_OPEN_NORMAL) != 0 || patient.BeginTran() != 0) return 3;
  char* rec = patient.GetRecordBuffer();
  std::memset(rec, 0, CPatientDB::kRecordLength);
  std::snprintf(rec, 21, "0000000001");
  std::snprintf(rec + 21, 41, "HELD");
  Note("H %d", patient.Insert());
  char c = 'r';
  if (write(readyFd, &c, 1) != 1) return 3;
  for (;;) pause();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: see the head of contention_worker.cpp\n");
    return 2;
  }
  std::string mode = argv[1];
  g_report = std::fopen(argv[argc - 1], "w");
  if (g_report == nullptr) return 2;
  RecordBoxes();
  int rc = 2;
  if (mode == "numbering" && argc == 7) {
    rc = Numbering(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  } else if (mode == "update" && argc == 8) {
    g_readyFd = std::atoi(argv[4]);
    g_goFd = std::atoi(argv[5]);
    rc = Update(argv[2], argv[3], std::atoi(argv[6]));
  } else if (mode == "hold" && argc == 5) {
    rc = Hold(argv[2], std::atoi(argv[3]));
  }
  std::fclose(g_report);
  return rc;
}
