// What a workstation learns of other workstations' commits without asking:
// one connection per server that listens on a channel per open record
// file, on which every commit that changes the file sends a notice. A walk
// hands out rows it fetched ahead only while no notice of their file came
// in since they were fetched, the channel stood throughout, and they are
// younger than kReadAheadAge.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "recman/storage/pg/connection.h"

namespace recman::pg {

// Rows fetched ahead are never handed out after this long, notices or not:
// it bounds how stale a row can be when a notice is late or the network
// lost it without closing the channel.
inline constexpr std::chrono::milliseconds kReadAheadAge{50};

// The channel on which the commits that change file `file` (its number in
// the catalogue) send their notice.
std::string NoticeChannel(int64_t file);

class Notices {
 public:
  using Clock = std::chrono::steady_clock;

  // Listens on the server that conninfo names (connecting on first use),
  // waiting at most answerMs for an answer.
  Notices(std::string conninfo, uint32_t answerMs) : conninfo_(std::move(conninfo)), answerMs_(answerMs) {}

  // Starts listening on file's channel; as many Forgets as Listens stop it.
  // Returns once the server listens (later notices reach us), or without
  // that when the channel cannot be had now (marks are then 0).
  void Listen(int64_t file);
  void Forget(int64_t file);

  // Where file stands as far as the notices tell, after reading every
  // notice that has arrived (no round trip, no wait). Two equal marks
  // mean that no commit to the file was announced between them and the
  // channel stood throughout. 0 means that nothing can be told (the
  // channel is lost, or not listening on file): equal to no other mark.
  uint64_t Mark(int64_t file);

  // A commit of this process changed a file on a server: every mark of
  // every server taken before moves, so that none of the process's clients
  // reads rows ahead of it (its own notice may come later than its
  // caller's next call).
  static void NoteCommit();

  // In a forked child: forgets the parent's connection without a word to
  // the server; the child listens on its own from its next mark.
  void ForgetAfterFork();

 private:
  struct File {
    int users = 0;        // Listens not yet Forgotten
    uint64_t changed = 0; // the serial of its last notice
  };

  // Reads what the server has sent without waiting; false when the
  // channel was found lost (and is then closed). The caller holds mu_.
  bool Drain();
  // Connects and listens on every file's channel, unless the last try
  // failed less than kRetry ago. The caller holds mu_.
  bool Reconnect(bool now);

  const std::string conninfo_;  // where the server is (may hold a password: never shown)
  const uint32_t answerMs_;     // the longest wait for the server's answer
  std::mutex mu_;               // guards everything below
  Connection conn_;             // the listening connection
  std::map<int64_t, File> files_;  // by file number
  uint64_t serial_ = 1;         // counts events: notices, commits, new channels
  uint64_t local_ = 0;          // the serial at which the process's last commit was seen
  uint64_t commits_ = 0;        // the process's commits seen by then
  Clock::time_point retryAt_{};  // no new connection before
};

}  // namespace recman::pg
