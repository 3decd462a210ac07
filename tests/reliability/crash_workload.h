#pragma once
// The workload of the crash tests: the record files a worker writes, the
// records it stores, and the side log in which it states every call it makes
// and what that call returned. The other reliability tests fill, damage and
// read the same files.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/btr_file.h"

namespace reclink::crash {

constexpr int kFileCount = 3;       // record files a worker writes
constexpr uint32_t kIdRange = 160;  // ids 1..kIdRange per file
constexpr uint16_t kRecordLength = 300;
constexpr uint16_t kTagOffset = 4;  // key 1: zstring, duplicates, modifiable
constexpr uint16_t kTagLength = 12;
constexpr uint16_t kGenOffset = 16;   // generation that wrote the record
constexpr uint16_t kFillOffset = 20;  // bytes derived from (file, id, gen)

// The records of one file: id -> generation.
using FileState = std::map<uint32_t, uint32_t>;

// Name of record file f inside a directory.
std::string FileName(const std::string& dir, int f);
// Path of the side log inside a crash directory.
std::string LogName(const std::string& dir);

// The one record image that (file, id, gen) stands for. Key 0 is the id as a
// 4-byte unsigned binary; key 1 a short tag shared by many records.
std::string MakeRecord(int file, uint32_t id, uint32_t gen);
// The little-endian 4 bytes at p (an id or a generation).
uint32_t U32At(const char* p);
// Key 0 of record id, for a Get Equal.
std::string IdKey(uint32_t id);

// Creates record file f holding the records 1..records, each of generation
// equal to its id, stored in one transaction; createMode is Create's key
// number (0 overwrites an existing file, -1 refuses it). Returns the first
// status other than 0.
int CreateRecordFile(const std::string& dir, int f, uint32_t records = 0, int8_t createMode = 0);

// Reads record file f at path along key 0 into *out, verifying every record
// image and the key's order; the record-file check (CheckRecordFile) looks
// after the other keys. Returns an empty string, or what is wrong.
std::string ReadRecordFile(const std::string& path, int f, FileState* out);

// Runs the record manager's file check over path. Returns the number of
// problems (0 = sound, -1 = not a record file) and appends each problem as a
// line to *problems.
int CheckRecordFile(const std::string& path, std::string* problems);

// One line of the side log: "kind seq file id gen status". Intents are
// written before the call they name, results after it returns; a cycle begins
// with a start line.
struct LogEntry {
  enum Kind : char {
    kStart = 'S',   // a worker started; seq = its pid
    kInsert = 'I',  // intent: insert (file, id, gen)
    kUpdate = 'U',  // intent: update record id of file to gen
    kDelete = 'D',  // intent: delete record id of file
    kBegin = 'B',   // intent: begin transaction
    kEnd = 'E',     // intent: end transaction
    kAbort = 'A',   // intent: abort transaction
    kResult = 'R',  // the call of intent seq returned status
  };
  Kind kind;         // what the line states
  uint64_t seq = 0;  // sequence number of the intent (pid for a start)
  int file = 0;      // record file, writes only
  uint32_t id = 0;   // record id, writes only
  uint32_t gen = 0;  // generation written, insert/update only
  int status = 0;    // returned status, results only
};

// Formats one entry as a log line, without its line end.
std::string FormatEntry(const LogEntry& e);
// Reads every whole line of the log at path from byte offset on; a torn last
// line (no line end) is dropped. A whole line that does not parse sets *error.
std::vector<LogEntry> ReadLog(const std::string& path, std::string* error, uint64_t offset = 0);

}  // namespace reclink::crash
