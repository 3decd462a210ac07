#pragma once
// The workload of the crash tests: the record files a worker writes, the
// records it stores, and the steps it takes. Step i is a function of the
// run's seed and i alone, so the state the files must hold after any step is
// known without asking the worker. The other reliability tests fill, damage
// and read the same files.

#include <array>
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
// The records of every crash file.
using DbState = std::array<FileState, kFileCount>;

// Name of record file f inside a directory.
std::string FileName(const std::string& dir, int f);

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
// Records 1..n, each of generation gen (0: of its id, as CreateRecordFile
// stores them).
FileState Records(uint32_t n, uint32_t gen = 0);

// Reads record file f at path along key 0 into *out, verifying every record
// image and the key's order; the record-file check (CheckRecordFile) looks
// after the other keys. Returns an empty string, or what is wrong.
std::string ReadRecordFile(const std::string& path, int f, FileState* out);

// Runs the record manager's file check over path. Returns the number of
// problems (0 = sound, -1 = not a record file) and appends each problem as a
// line to *problems.
int CheckRecordFile(const std::string& path, std::string* problems);

// One write of a step to record id of a file: an Insert when the record is
// not there; when it is, a Delete if erase is set, else an Update.
struct Write {
  int file;
  uint32_t id;
  bool erase;
};

// One step of the workload: a lone write, or a transaction of one to six
// writes over random files ended by End or (one in five) Abort. Every record
// a step writes has the step's number as its generation.
struct Step {
  uint32_t number;
  bool transaction;
  bool abort;  // a transaction that ends in Abort
  std::vector<Write> writes;
};

// Step number of the workload that seed names.
Step MakeStep(uint64_t seed, uint32_t number);
// Applies what step leaves on file once it has returned 0 to *state.
void Apply(const Step& step, DbState* state);

}  // namespace reclink::crash
