// The record manager's state in this process: the position blocks in use,
// the files they opened, and the client's transaction. One mutex guards it
// all; BTRCALL holds it for the whole of a call.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recman/cursor.h"
#include "recman/record_file.h"

namespace recman {

// The process's transaction: every file it touched holds an SQLite
// transaction until End or Abort.
struct Transaction {
  bool active = false;                              // Begin was called
  std::vector<std::shared_ptr<RecordFile>> files;   // joined files, in order of first access
  int failure = 0;  // status of an error that undid part of the work; End reports it
  int64_t id = 0;   // identifies the transaction in files it leaves markers in
  RecordFile* firstWritten = nullptr;  // the file written first: decides a commit over several
};

class Engine {
 public:
  // The one engine of the process.
  static Engine& Instance();

  std::mutex& mutex() { return mu_; }
  Transaction& transaction() { return txn_; }

  // The live cursor of position block `block`, or null when the block is not
  // one that this engine handed out and still honours.
  Cursor* Find(const void* block);

  // Makes block (128 bytes, caller's) the home of cursor.
  void Attach(void* block, std::unique_ptr<Cursor> cursor);

  // Ends cursor's life: releases its file, stales its block.
  void Detach(Cursor* cursor);

  // Every live cursor.
  std::vector<Cursor*> Cursors();

  // The file open in this process under canonical path, or null.
  std::shared_ptr<RecordFile> FindFile(const std::string& path);
  void AddFile(const std::shared_ptr<RecordFile>& file);

  // Sets the durability of file from the modes of the blocks that hold it.
  static void UpdateDurability(RecordFile& file);

  // Starts, once per process, the thread that ends read snapshots left
  // open by blocks that went quiet, so that no process holds back the
  // checkpoints of the others for long.
  void EnsureReaper();

  // After fork(): the child drops everything inherited without touching it
  // (SQLite connections must not cross a fork).
  void ForgetInherited();

 private:
  Engine();

  // One entry of the handle table.
  struct Slot {
    uint32_t generation = 1;          // bumped whenever the slot is freed
    std::unique_ptr<Cursor> cursor;   // null when free
  };

  std::mutex mu_;                    // guards everything below
  std::vector<Slot> slots_;          // handle table; index = handle
  std::vector<uint32_t> freeSlots_;  // indexes of free slots
  std::map<std::string, std::shared_ptr<RecordFile>> files_;  // open files by canonical path
  Transaction txn_;                  // the client's transaction
  uint32_t reaperProcess_ = 0;       // process in which the reaper runs (0: none yet)
  uint64_t lastCursorId_ = 0;        // ids handed to cursors
};

}  // namespace recman
