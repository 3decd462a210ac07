// Frames one write operation. Inside the client's transaction the file is
// joined and every statement runs in that transaction. Outside it, a write
// made of one statement runs on its own (SQLite makes each statement atomic
// and durable), and a write that reads before it writes takes the write lock
// first, so that nobody changes the file between the read and the write.
// A failed statement undoes only itself: the engine's multi-statement
// writes only write in their last statement, or write what may be lost
// (a skipped sequence number).
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

  // Starts the write; grouped asks for the write lock now (several
  // statements that must see one state). Returns 0 or a status (85/84 after
  // the wait, 46).
  int Begin(bool grouped);
  // Makes the work permanent (durable outside a transaction). Returns 0 or
  // a status; on failure the work is undone.
  int Commit();

 private:
  Engine& engine_;                    // the engine of the call
  std::shared_ptr<RecordFile> file_;  // the file written
  Access access_;                     // file or record work
  bool open_ = false;  // began an SQLite transaction of its own, not yet ended
};

}  // namespace recman
