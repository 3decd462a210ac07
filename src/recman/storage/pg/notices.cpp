#include "recman/storage/pg/notices.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "recman/os/socket.h"
#include "reclink/btrieve.h"

namespace recman::pg {
namespace {

constexpr const char* kChannelPrefix = "recman_file_";

// After a failed connection, the next try waits this long: a server that
// is down costs each call a refused connection at most once a second.
constexpr std::chrono::seconds kRetry{1};

// Reads of the socket in one mark at most: notices that keep coming cannot
// hold a call.
constexpr int kMaxReads = 64;

// Commits of the process to any server backend: a client may read a file
// through another backend (another directory's configuration) than it wrote
// it through.
std::atomic<uint64_t> g_commits{0};

}  // namespace

std::string NoticeChannel(int64_t file) { return kChannelPrefix + std::to_string(file); }

void Notices::Listen(int64_t file) {
  std::lock_guard<std::mutex> guard(mu_);
  File& f = files_[file];
  if (f.users++ > 0) return;
  f.changed = ++serial_;
  if (conn_.broken()) {
    Reconnect(true);  // listens on every file's channel, this one's too
  } else if (!conn_.Exec("LISTEN " + NoticeChannel(file)).ok()) {
    conn_.Close();  // marks are 0 until a new connection listens on all
  }
}

void Notices::Forget(int64_t file) {
  std::lock_guard<std::mutex> guard(mu_);
  auto it = files_.find(file);
  if (it == files_.end() || --it->second.users > 0) return;
  files_.erase(it);
  if (!conn_.broken()) conn_.Exec("UNLISTEN " + NoticeChannel(file));
}

uint64_t Notices::Mark(int64_t file) {
  std::lock_guard<std::mutex> guard(mu_);
  if (conn_.broken() && !Reconnect(false)) return 0;
  if (!Drain()) return 0;
  auto it = files_.find(file);
  if (it == files_.end()) return 0;
  if (const uint64_t commits = g_commits; commits != commits_) {
    commits_ = commits;
    local_ = ++serial_;
  }
  // Every event takes a new serial, so the larger of the two moves with
  // either.
  return std::max(it->second.changed, local_);
}

void Notices::NoteCommit() { ++g_commits; }

void Notices::ForgetAfterFork() {
  conn_.Abandon();
  retryAt_ = {};
}

bool Notices::Drain() {
  PGconn* c = conn_.get();
  // Read until nothing more is there: a server that ends the connection
  // sends its last words first, and the end is seen on the next read.
  for (int reads = 0; reads < kMaxReads && os::WaitSocket(PQsocket(c), false, 0) == os::SocketWait::kReady; ++reads) {
    if (!PQconsumeInput(c) || PQstatus(c) != CONNECTION_OK) {
      conn_.Close();  // the server ended it, or the network did
      return false;
    }
  }
  while (PGnotify* n = PQnotifies(c)) {
    if (std::strncmp(n->relname, kChannelPrefix, std::strlen(kChannelPrefix)) == 0) {
      auto it = files_.find(std::strtoll(n->relname + std::strlen(kChannelPrefix), nullptr, 10));
      if (it != files_.end()) it->second.changed = ++serial_;
    }
    PQfreemem(n);
  }
  return true;
}

bool Notices::Reconnect(bool now) {
  if (!now && Clock::now() < retryAt_) return false;
  std::string why;
  // Lock waits do not concern a connection that only listens.
  if (conn_.Open(conninfo_, 1000, answerMs_, &why) == B_NO_ERROR) {
    std::string sql;
    for (auto& [file, f] : files_) sql += "LISTEN " + NoticeChannel(file) + ";";
    if (sql.empty() || conn_.Exec(sql).ok()) {
      // What happened while nobody listened is unknown: every mark moves.
      for (auto& [file, f] : files_) f.changed = ++serial_;
      return true;
    }
    conn_.Close();
  }
  retryAt_ = Clock::now() + kRetry;
  return false;
}

}  // namespace recman::pg
