// One connection to a PostgreSQL server through libpq: statements prepared
// once per connection and run with binary parameters and results.
#pragma once

#include <libpq-fe.h>

#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "recman/storage/access.h"

namespace recman::pg {

// The result of one statement (owned; freed with it).
class Result {
 public:
  Result() = default;
  explicit Result(PGresult* res) : res_(res) {}
  ~Result() { PQclear(res_); }
  Result(Result&& other) noexcept : res_(other.res_) { other.res_ = nullptr; }
  Result& operator=(Result&& other) noexcept;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;

  // The statement succeeded (with or without rows).
  bool ok() const;
  int rows() const { return res_ ? PQntuples(res_) : 0; }
  // Rows that an INSERT, UPDATE or DELETE touched.
  int64_t affected() const;
  // Column col of row `row` (binary results): bytes, length, SQL NULL.
  const uint8_t* bytes(int row, int col) const {
    return reinterpret_cast<const uint8_t*>(PQgetvalue(res_, row, col));
  }
  uint32_t length(int row, int col) const { return static_cast<uint32_t>(PQgetlength(res_, row, col)); }
  bool null(int row, int col) const { return PQgetisnull(res_, row, col) != 0; }
  std::string blob(int row, int col) const;
  // A bigint, integer or boolean column (binary results).
  int64_t int8(int row, int col) const;
  int32_t int4(int row, int col) const;
  bool boolean(int row, int col) const { return bytes(row, col)[0] != 0; }
  // The command tag ("COMMIT", "ROLLBACK", ...).
  std::string command() const { return res_ ? PQcmdStatus(res_) : ""; }
  // The SQLSTATE of a failure ("" on success) and the server's words for it.
  std::string sqlstate() const;
  std::string message() const;

 private:
  PGresult* res_ = nullptr;  // owned
};

// The parameters of one statement, sent in binary: bytea as its bytes,
// bigint big-endian. Pointers handed in must outlive the statement's run.
class Params {
 public:
  Params& Bytes(const void* data, size_t length);
  Params& Bytes(const std::string& value) { return Bytes(value.data(), value.size()); }
  Params& Int(int64_t value);
  Params& Null();
  int count() const { return static_cast<int>(values_.size()); }
  const char* const* values() const { return values_.data(); }
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

 private:
  std::vector<const char*> values_;           // per parameter; null for SQL NULL
  std::vector<int> lengths_;                  // bytes per parameter
  std::vector<int> formats_;                  // 1: binary
  std::deque<std::array<char, 8>> integers_;  // storage of the bigints (stable addresses)
};

// A statement kept prepared on a connection under name.
struct Statement {
  std::string name;  // unique on the connection
  std::string sql;   // its text; parameters typed by casts ($1::bytea)
};

class Connection {
 public:
  Connection() = default;
  ~Connection();  // closes
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects to the server conninfo names, with lock waits set to
  // lockTimeoutMs; from then on no statement waits for the server's answer
  // longer than its lock wait and answerMs together: past that the
  // connection is given up (broken). Returns 0, or 96 with *why saying
  // whether the server could not be reached, refused the login, has no such
  // database or refused the encryption, in words (never the password).
  int Open(const std::string& conninfo, uint32_t lockTimeoutMs, uint32_t answerMs, std::string* why);
  void Close();
  // In a forked child: forgets the parent's connection without a word to
  // the server (the parent still uses it).
  void Abandon() { conn_ = nullptr; }
  bool open() const { return conn_ != nullptr; }
  PGconn* get() const { return conn_; }
  // The connection broke (server gone, network lost): only a new one helps.
  bool broken() const { return conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK; }

  // Runs sql (one or more statements, no parameters) with text results.
  Result Exec(const std::string& sql);
  // Runs sql with params once, binary results.
  Result Query(const std::string& sql, const Params& params);
  // Runs s with params, preparing it on first use on this connection;
  // binary results.
  Result Run(const Statement& s, const Params& params);
  // Forgets the prepared statements whose names start with prefix.
  void Deallocate(const std::string& prefix);
  // Sets the lock wait for the statements that follow, when it changed.
  void SetLockTimeout(uint32_t ms);

  // The status of a failed result: 95 when the connection broke under it,
  // else the one its SQLSTATE maps to for access.
  int StatusOf(const Result& r, Access access) const;

 private:
  // After a statement was sent (sent: PQsend* succeeded): waits for its
  // results within the answer limit and gives the last one, as PQexec
  // does. A server that does not answer in time loses the connection.
  Result Await(bool sent);

  PGconn* conn_ = nullptr;        // owned
  uint32_t answerMs_ = 0;         // the longest wait for an answer beyond the lock wait
  std::set<std::string> prepared_;  // statement names prepared here
  uint32_t lockTimeout_ = 0;      // lock_timeout in force (ms)
};

}  // namespace recman::pg
