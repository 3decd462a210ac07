#include "recman/pg/connection.h"

#include <cstdlib>
#include <cstring>

#include "recman/pg/sqlstate_map.h"
#include "reclink/btrieve.h"

namespace recman::pg {
namespace {

// What every connection asks for unless its connection string says
// otherwise: a bounded wait for the server, and keepalives so that a lost
// network ends a call with a status instead of hanging it.
constexpr const char* kDefaultKeywords[] = {"connect_timeout", "keepalives", "keepalives_idle",
                                            "keepalives_interval", "keepalives_count",
                                            "tcp_user_timeout", "application_name"};
constexpr const char* kDefaultValues[] = {"10", "1", "30", "10", "3", "60000", "recman"};

uint64_t FromBigEndian(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

Result& Result::operator=(Result&& other) noexcept {
  std::swap(res_, other.res_);
  return *this;
}

bool Result::ok() const {
  if (res_ == nullptr) return false;
  const ExecStatusType s = PQresultStatus(res_);
  return s == PGRES_TUPLES_OK || s == PGRES_COMMAND_OK;
}

int64_t Result::affected() const {
  const char* n = res_ ? PQcmdTuples(res_) : "";
  return *n ? std::strtoll(n, nullptr, 10) : 0;
}

std::string Result::blob(int row, int col) const {
  return std::string(reinterpret_cast<const char*>(bytes(row, col)), length(row, col));
}

int64_t Result::int8(int row, int col) const {
  return static_cast<int64_t>(FromBigEndian(bytes(row, col), 8));
}

int32_t Result::int4(int row, int col) const {
  return static_cast<int32_t>(FromBigEndian(bytes(row, col), 4));
}

std::string Result::sqlstate() const {
  const char* s = res_ ? PQresultErrorField(res_, PG_DIAG_SQLSTATE) : nullptr;
  return s ? s : "";
}

std::string Result::message() const {
  const char* m = res_ ? PQresultErrorField(res_, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  return m ? m : "no answer from the server";
}

Params& Params::Bytes(const void* data, size_t length) {
  // A zero-length bytea still needs a non-null pointer: null means NULL.
  values_.push_back(length ? static_cast<const char*>(data) : "");
  lengths_.push_back(static_cast<int>(length));
  formats_.push_back(1);
  return *this;
}

Params& Params::Int(int64_t value) {
  std::array<char, 8>& be = integers_.emplace_back();
  for (int i = 7; i >= 0; --i, value = static_cast<int64_t>(static_cast<uint64_t>(value) >> 8)) {
    be[i] = static_cast<char>(value & 0xff);
  }
  values_.push_back(be.data());
  lengths_.push_back(8);
  formats_.push_back(1);
  return *this;
}

Params& Params::Null() {
  values_.push_back(nullptr);
  lengths_.push_back(0);
  formats_.push_back(1);
  return *this;
}

int Connection::Open(const std::string& conninfo, uint32_t lockTimeoutMs, std::string* why) {
  Close();
  constexpr size_t kDefaults = sizeof kDefaultKeywords / sizeof *kDefaultKeywords;
  const char* keywords[kDefaults + 2];
  const char* values[kDefaults + 2];
  for (size_t i = 0; i < kDefaults; ++i) {
    keywords[i] = kDefaultKeywords[i];
    values[i] = kDefaultValues[i];
  }
  // The caller's connection string comes last and overrides the defaults.
  keywords[kDefaults] = "dbname";
  values[kDefaults] = conninfo.c_str();
  keywords[kDefaults + 1] = values[kDefaults + 1] = nullptr;
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    // libpq's words name host, port and user, never the password.
    *why = conn_ ? PQerrorMessage(conn_) : "out of memory";
    while (!why->empty() && (why->back() == '\n' || why->back() == ' ')) why->pop_back();
    Close();
    return B_COMMUNICATIONS_ERROR;
  }
  lockTimeout_ = 0;
  Result settings = Exec("SET client_min_messages = warning; SET statement_timeout = 0");
  if (!settings.ok()) {
    *why = settings.message();
    Close();
    return B_COMMUNICATIONS_ERROR;
  }
  SetLockTimeout(lockTimeoutMs);
  return B_NO_ERROR;
}

void Connection::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
  prepared_.clear();
}

Result Connection::Exec(const std::string& sql) { return Result(PQexec(conn_, sql.c_str())); }

Result Connection::Query(const std::string& sql, const Params& params) {
  return Result(PQexecParams(conn_, sql.c_str(), params.count(), nullptr, params.values(), params.lengths(),
                             params.formats(), 1));
}

Result Connection::Run(const Statement& s, const Params& params) {
  if (!prepared_.contains(s.name)) {
    Result prepared(PQprepare(conn_, s.name.c_str(), s.sql.c_str(), 0, nullptr));
    if (!prepared.ok()) return prepared;
    prepared_.insert(s.name);
  }
  return Result(PQexecPrepared(conn_, s.name.c_str(), params.count(), params.values(), params.lengths(),
                               params.formats(), 1));
}

void Connection::Deallocate(const std::string& prefix) {
  std::string sql;
  for (auto it = prepared_.lower_bound(prefix); it != prepared_.end() && it->starts_with(prefix);) {
    sql += "DEALLOCATE " + *it + ";";  // names are ours: letters, digits, underscores
    it = prepared_.erase(it);
  }
  if (!sql.empty() && !broken()) Exec(sql);
}

void Connection::SetLockTimeout(uint32_t ms) {
  // 0 would mean no limit to the server: the shortest wait it knows instead.
  if (ms == 0) ms = 1;
  // A SET inside a transaction is undone with it: only between transactions.
  if (ms == lockTimeout_ || broken() || PQtransactionStatus(conn_) != PQTRANS_IDLE) return;
  if (Exec("SET lock_timeout = " + std::to_string(ms)).ok()) lockTimeout_ = ms;
}

int Connection::StatusOf(const Result& r, Access access) const {
  if (broken()) return B_SESSION_NO_LONGER_VALID;
  const std::string state = r.sqlstate();
  return state.empty() ? B_IO_ERROR : StatusFromSqlstate(state, access);
}

}  // namespace recman::pg
