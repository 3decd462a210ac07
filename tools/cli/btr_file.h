#pragma once
// A record file opened through the record manager's entry point, for the
// utility's own use: open, stat, walk, insert, and the client's transactions.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/file_spec.h"

namespace reclink::cli {

// Whether the record manager can take path as a file name: at most 255
// bytes, the length of the key buffer that carries it.
bool PathFits(const std::string& path);

class BtrFile {
 public:
  BtrFile();
  ~BtrFile();  // closes the file when open
  BtrFile(const BtrFile&) = delete;
  BtrFile& operator=(const BtrFile&) = delete;

  // Opens path in mode (B_MODE_*). Returns the status; 0 when open; 11,
  // without calling the record manager, for a path of more than 255 bytes.
  int Open(const std::string& path, int mode);
  // Closes the file; returns the status (0 when it was not open).
  int Close();
  bool IsOpen() const { return open_; }

  // Reads the file's specification and counts. Returns the status.
  int Stat(FileSpec* spec);

  // Walks the records: in key order on key (First/Next), or in physical
  // order when key < 0 (Step First/Step Next). Record bytes go to *record,
  // whatever their length (a variable-length record up to 16 MiB). Returns
  // the status; 9 at the end.
  int First(int key, std::string* record);
  int Next(int key, std::string* record);

  // Inserts record without changing currency. Returns the status.
  int Insert(const std::string& record);

 private:
  int Call(uint16_t op, std::string* record, int8_t keyNum);
  // Reads the current record again into a buffer of the longest record
  // (Get Position, Get Direct on path, -1 for physical order).
  int ReadWhole(int8_t path, uint32_t* len);

  char block_[128];              // position block, the engine's between calls
  char key_[255];                // key buffer passed with every call
  std::vector<char> data_;       // data buffer: 64 KiB, grown for a longer record
  bool open_ = false;            // Open succeeded and Close has not run
};

// Creates the file at path from spec (key number 0 overwrites an existing
// file when overwrite, -1 refuses it). Returns the status; 11 for a path of
// more than 255 bytes, which the record manager would cut short.
int CreateFile(const std::string& path, const FileSpec& spec, bool overwrite);

// Reads the layout (record length, keys, flags) and the counts of the
// record file at path without opening it through the record manager's
// interface, so that a file with an owner name reads as it is (for check).
// Returns the status.
int StatFile(const std::string& path, FileSpec* spec);

// The client's transaction: Begin (exclusive), End, Abort. Return the status.
int BeginTransaction();
int EndTransaction();
int AbortTransaction();

// Continuous operation: Freeze keeps the record file at path unchanged on
// disk while programs go on using it, so that it can be copied whole; Thaw
// lets in what they wrote, for every file this process froze. Return the
// status.
int Freeze(const std::string& path);
int ThawAll();

}  // namespace reclink::cli
