#include "recman/storage/pg/session.h"

#include "recman/engine/lock_wait.h"
#include "recman/storage/pg/table.h"
#include "reclink/btrieve.h"

namespace recman::pg {

int PgSession::Connect() {
  if (conn_.open() && !conn_.broken()) {
    conn_.SetLockTimeout(LockTimeoutMs());
    return B_NO_ERROR;
  }
  if (inTransaction_) {
    // The server undid the transaction when the connection went.
    inTransaction_ = false;
    lost_ = B_SESSION_NO_LONGER_VALID;
  }
  owed_.clear();  // the old connection's locks went with it
  std::string why;
  const int status = conn_.Open(conninfo_, LockTimeoutMs(), answerMs_, &why);
  if (status == B_NO_ERROR) ++generation_;
  return status;
}

int PgSession::Failed(const Result& r, Access access) {
  const int status = conn_.StatusOf(r, access);
  if (!inTransaction_) return status;
  if (conn_.broken()) {
    inTransaction_ = false;
    lost_ = status;
  } else if (!savepoint && PQtransactionStatus(conn_.get()) == PQTRANS_INERROR) {
    lost_ = status;  // the server refuses every statement until the rollback
  }
  return status;
}

int PgSession::Commit(const std::vector<Table*>& tables) {
  std::lock_guard<std::recursive_mutex> guard(mu_);
  int status = lost_;
  if (status == B_NO_ERROR && inTransaction_) {
    // Accelerated files only: the commit need not wait for the disk.
    bool durable = false;
    for (Table* t : tables) durable = durable || static_cast<PgTable*>(t)->durable();
    // The files it changed announce the commit: their notices leave only
    // once it has committed. A transaction the server refuses goes back,
    // and announces nothing.
    std::string notices;
    if (!conn_.broken() && PQtransactionStatus(conn_.get()) == PQTRANS_INTRANS) {
      for (Table* t : tables) notices += static_cast<PgTable*>(t)->NoticeOfChange();
    }
    Result r = conn_.Exec(notices + (durable ? "COMMIT" : "SET LOCAL synchronous_commit = off; COMMIT"));
    if (!r.ok()) {
      status = conn_.StatusOf(r, Access::kFile);
    } else if (r.command() != "COMMIT") {
      status = B_IO_ERROR;  // the server had undone it
    }
    if (!notices.empty()) Notices::NoteCommit();
  }
  Finish(tables);
  return status;
}

void PgSession::Rollback(const std::vector<Table*>& tables) {
  std::lock_guard<std::recursive_mutex> guard(mu_);
  Finish(tables);
}

void PgSession::Finish(const std::vector<Table*>& tables) {
  if (inTransaction_ && !conn_.broken() && PQtransactionStatus(conn_.get()) != PQTRANS_IDLE) {
    conn_.Exec("ROLLBACK");
  }
  if (!owed_.empty() && !conn_.broken()) conn_.Exec(owed_);
  owed_.clear();
  inTransaction_ = false;
  savepoint = false;
  lost_ = B_NO_ERROR;
  for (Table* t : tables) static_cast<PgTable*>(t)->Unjoin();
}

}  // namespace recman::pg
