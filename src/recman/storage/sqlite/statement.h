// Prepared statements that live as long as their connection.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace recman::sqlite {

// Owns one prepared statement.
class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&& other) noexcept {
    std::swap(stmt_, other.stmt_);
    return *this;
  }

  // Prepares sql on db (not owned) for repeated use. Returns the SQLite code.
  int Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  }
  sqlite3_stmt* get() const { return stmt_; }
  // Releases the statement ahead of the destructor.
  void Finalize() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;  // owned; null until prepared
};

// Resets a statement when the scope that uses it ends, so that no read
// transaction outlives the call.
class StatementUse {
 public:
  explicit StatementUse(const Statement& s) : stmt_(s.get()) {}
  ~StatementUse() { sqlite3_reset(stmt_); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* operator*() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;  // not owned
};

// Runs a statement that returns no rows to completion; returns the SQLite code
// (SQLITE_DONE on success).
inline int RunOnce(const Statement& s) {
  StatementUse use(s);
  int rc = sqlite3_step(*use);
  return rc == SQLITE_ROW ? SQLITE_DONE : rc;
}

// Binds bytes to parameter n of stmt; they must outlive the statement's use.
inline void BindBytes(sqlite3_stmt* stmt, int n, const std::string& value) {
  sqlite3_bind_blob(stmt, n, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
}

// Binds parameters of stmt one after another, from `next` on (BindKeys in
// row_io.h).
struct Binder {
  sqlite3_stmt* stmt;  // not owned
  int next;            // the parameter bound next
  void Bytes(const std::string& value) { BindBytes(stmt, next++, value); }
  void Null() { sqlite3_bind_null(stmt, next++); }
  void Int(int64_t value) { sqlite3_bind_int64(stmt, next++, value); }
};

// The columns of the row stmt stands on (FillRow in row_io.h).
struct Columns {
  sqlite3_stmt* stmt;  // not owned
  int64_t Int(int c) const { return sqlite3_column_int64(stmt, c); }
  const uint8_t* Bytes(int c) const { return static_cast<const uint8_t*>(sqlite3_column_blob(stmt, c)); }
  uint32_t Length(int c) const { return static_cast<uint32_t>(sqlite3_column_bytes(stmt, c)); }
};

// Runs statements on db in order until one fails. Returns the SQLite code.
inline int ExecAll(sqlite3* db, const std::vector<std::string>& statements) {
  for (const std::string& sql : statements) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace recman::sqlite
