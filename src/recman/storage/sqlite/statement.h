// Prepared statements that live as long as their connection.
#pragma once

#include <sqlite3.h>

#include <string>
#include <utility>

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

}  // namespace recman::sqlite
