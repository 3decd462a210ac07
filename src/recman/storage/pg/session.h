// What one client holds of one server: its connection, which every file it
// opened there shares, so that its transaction over any number of files is
// one transaction of the server.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "recman/storage/pg/connection.h"
#include "recman/storage/pg/notices.h"
#include "recman/storage/storage.h"

namespace recman::pg {

class PgSession final : public Session {
 public:
  // notices: the backend's, outliving the session; readAhead: walks may
  // hand out rows fetched in an earlier call while notices keep them true.
  PgSession(std::string conninfo, uint32_t answerMs, Notices* notices, bool readAhead)
      : conninfo_(std::move(conninfo)), answerMs_(answerMs), notices_(*notices), readAhead_(readAhead) {}

  int Commit(const std::vector<Table*>& tables) override;
  void Rollback(const std::vector<Table*>& tables) override;
  bool remote() const override { return true; }

  // Held around every use of the connection, and by a table from the start
  // of a write to its end (so that no other thread's statement lands in
  // it). Taken after a table's mutex, never before.
  std::recursive_mutex& mutex() { return mu_; }

  // The connection, made on first use and made again after it broke; the
  // lock wait set to the engine's. Returns 0, or 96 when the server cannot
  // be reached. The caller holds mutex().
  int Connect();
  Connection& conn() { return conn_; }
  // What the process learns of commits; whether walks read ahead on it.
  Notices& notices() { return notices_; }
  bool readAhead() const { return readAhead_; }
  // Counts the connections made: a table's claim and statements belong to
  // the one they were made on.
  uint64_t generation() const { return generation_; }
  // A prefix for one table's statement names, unique in the session.
  std::string NewStatementPrefix() {
    std::string prefix = "t";  // appended: g++ 12 warns falsely about "t" + std::to_string(...)
    prefix += std::to_string(++tables_);
    return prefix + "_";
  }

  // The status of failed statement r. When the connection broke, or the
  // statement ended the client's transaction on the server (inside it, with
  // no savepoint to go back to), the transaction is lost: what it did is
  // gone, and End will say so.
  int Failed(const Result& r, Access access);
  // Whether the server is inside the client's transaction; the status of
  // the failure that lost it (0: none).
  bool inTransaction() const { return inTransaction_; }
  int lost() const { return lost_; }
  // Marks the server as inside the client's transaction (BEGIN was sent).
  void Began() { inTransaction_ = true; }
  // ... and outside it again (the BEGIN was taken back).
  void Ended() { inTransaction_ = false; }
  // Runs sql (lock releases of a closed table) once the transaction has
  // ended.
  void Owe(const std::string& sql) { owed_ += sql + ";"; }
  // A write inside the transaction keeps savepoint "w" to go back to.
  bool savepoint = false;

 private:
  // Ends the transaction's bookkeeping and the tables' part in it.
  void Finish(const std::vector<Table*>& tables);

  const std::string conninfo_;    // where the server is (may hold a password: never shown)
  const uint32_t answerMs_;       // the longest wait for an answer beyond lock waits
  Notices& notices_;              // the backend's
  const bool readAhead_;          // see readAhead()
  std::recursive_mutex mu_;       // see mutex()
  Connection conn_;               // the client's connection to the server
  uint64_t generation_ = 0;       // connections made so far
  uint64_t tables_ = 0;           // statement prefixes handed out
  bool inTransaction_ = false;    // BEGIN sent for the client's transaction
  int lost_ = 0;                  // status of the failure that lost the transaction
  std::string owed_;              // statements to run once the transaction has ended
};

}  // namespace recman::pg
