#include "recman/storage/pg/connection.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "recman/os/socket.h"
#include "recman/storage/pg/sqlstate_map.h"
#include "recman/api/reason.h"
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

// What a failed connection came to, for people: libpq's words, after what
// kind of failure they show. The kinds are read from libpq's and the
// server's English words (servers answer in English unless configured
// otherwise); what is not recognised is a refusal of the connection.
struct ConnectFailure {
  const char* words;  // a piece of libpq's or the server's message
  const char* kind;   // what it means
};
constexpr ConnectFailure kConnectFailures[] = {
    {"does not exist", nullptr},  // resolved below: a database or a role
    {"password authentication failed", "the server refused the login (wrong user or password)"},
    {"no password supplied", "the server asks for a password and none was found (the password file)"},
    {"no pg_hba.conf entry", "the server refused the login from this machine, user and database"},
    {"authentication failed", "the server refused the login"},
    {"not permitted to log in", "the server refused the login"},
    {"certificate", "the server's certificate could not be verified"},
    {"SSL", "the encrypted connection (TLS) failed"},
    {"could not translate host name", "the server cannot be reached (unknown host name)"},
    {"timeout expired", "the server cannot be reached (no answer in time)"},
    {"Connection refused", "the server cannot be reached (nothing listens there)"},
    {"could not connect", "the server cannot be reached"},
    {"No route to host", "the server cannot be reached (no route to it)"},
    {"Network is unreachable", "the server cannot be reached (network unreachable)"},
    {"No such file or directory", "the server cannot be reached (no server's socket there)"},
    {"invalid connection option", "the connection string is not valid"},
    {"missing \"=\"", "the connection string is not valid"},
    {"invalid URI", "the connection string is not valid"},
};

std::string DescribeConnectFailure(std::string words) {
  while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
  // One line: libpq's lines (and its tabbed hints) run on after a blank.
  std::string line;
  for (char c : words) {
    if (c == '\n' || c == '\t') c = ' ';
    if (c != ' ' || line.empty() || line.back() != ' ') line += c;
  }
  words = line;
  const char* kind = "the server refused the connection";
  for (const ConnectFailure& f : kConnectFailures) {
    if (words.find(f.words) == std::string::npos) continue;
    if (f.kind != nullptr) {
      kind = f.kind;
    } else if (words.find("database \"") != std::string::npos) {
      kind = "the server has no such database";
    } else if (words.find("role \"") != std::string::npos) {
      kind = "the server knows no such user (role)";
    } else {
      continue;
    }
    break;
  }
  return std::string(kind) + ": " + words;
}

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

int Connection::Open(const std::string& conninfo, uint32_t lockTimeoutMs, uint32_t answerMs, std::string* why) {
  Close();
  answerMs_ = answerMs;
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
    *why = DescribeConnectFailure(conn_ ? PQerrorMessage(conn_) : "out of memory");
    SetReason(*why);
    Close();
    return B_COMMUNICATIONS_ERROR;
  }
  // Statements are sent without blocking, so that a server that stops
  // reading cannot hold a call either.
  PQsetnonblocking(conn_, 1);
  lockTimeout_ = 0;
  Result settings = Exec("SET client_min_messages = warning; SET statement_timeout = 0");
  if (!settings.ok()) {
    *why = "the server refused the session's settings: " + settings.message();
    SetReason(*why);
    Close();
    return B_COMMUNICATIONS_ERROR;
  }
  SetLockTimeout(lockTimeoutMs);
  return B_NO_ERROR;
}

Connection::~Connection() { Close(); }

void Connection::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
  prepared_.clear();
}

Result Connection::Await(bool sent) {
  if (!sent) return Result();
  using Clock = std::chrono::steady_clock;
  const auto limit = std::chrono::milliseconds(uint64_t{lockTimeout_} + answerMs_);
  const auto deadline = Clock::now() + limit;
  // Everything sent first (the socket may take it piece by piece), then
  // every result read as it comes.
  // Waits for the socket within the time left; false when it ran out.
  auto ready = [&](bool forWrite) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 && os::WaitSocket(PQsocket(conn_), forWrite, static_cast<int>(left)) == os::SocketWait::kReady;
  };
  for (int flushed; (flushed = PQflush(conn_)) != 0;) {
    if (flushed < 0) return Result();
    if (!ready(true)) break;
    PQconsumeInput(conn_);
  }
  PGresult* last = nullptr;
  for (;;) {
    while (PQisBusy(conn_)) {
      if (!ready(false)) {
        // The server has stopped answering: the connection is given up,
        // and with it whatever the server still holds for it.
        PQclear(last);
        SetReason("the server did not answer within " +
                  std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
                  " seconds; the connection to it was given up");
        Close();
        return Result();
      }
      if (!PQconsumeInput(conn_)) break;  // the connection broke: PQgetResult says how
    }
    PGresult* next = PQgetResult(conn_);
    if (next == nullptr) break;
    PQclear(last);
    last = next;
    if (PQstatus(conn_) == CONNECTION_BAD) break;
  }
  return Result(last);
}

Result Connection::Exec(const std::string& sql) {
  if (conn_ == nullptr) return Result();
  return Await(PQsendQuery(conn_, sql.c_str()) == 1);
}

Result Connection::Query(const std::string& sql, const Params& params) {
  if (conn_ == nullptr) return Result();
  return Await(PQsendQueryParams(conn_, sql.c_str(), params.count(), nullptr, params.values(), params.lengths(),
                                 params.formats(), 1) == 1);
}

Result Connection::Run(const Statement& s, const Params& params) {
  if (conn_ == nullptr) return Result();
  if (!prepared_.contains(s.name)) {
    Result prepared = Await(PQsendPrepare(conn_, s.name.c_str(), s.sql.c_str(), 0, nullptr) == 1);
    if (!prepared.ok()) return prepared;
    prepared_.insert(s.name);
  }
  return Await(PQsendQueryPrepared(conn_, s.name.c_str(), params.count(), params.values(), params.lengths(),
                                   params.formats(), 1) == 1);
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
