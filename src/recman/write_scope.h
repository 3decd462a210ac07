// Makes one write operation atomic: its own SQLite transaction outside the
// client's transaction, a savepoint inside it.
#pragma once

#include <memory>

#include "recman/call.h"

namespace recman {

class WriteScope {
 public:
  // access says whether a lock conflict concerns the file or one record.
  WriteScope(Engine& engine, std::shared_ptr<RecordFile> file, Access access)
      : engine_(engine), file_(std::move(file)), access_(access) {}
  ~WriteScope();
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  // Takes the write lock. Returns 0 or a status (85/84 after the wait, 46).
  int Begin();
  // Makes the work permanent (durable outside a transaction). Returns 0 or
  // a status; on failure the work is undone.
  int Commit();

 private:
  Engine& engine_;                    // the engine of the call
  std::shared_ptr<RecordFile> file_;  // the file written
  Access access_;                     // file or record work
  bool inClientTransaction_ = false;  // a savepoint, not a transaction
  bool open_ = false;                 // begun and neither committed nor undone
};

}  // namespace recman
