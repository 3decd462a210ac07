#pragma once
// A connection of a test's own to the server, beside the record manager's:
// to look at what it stored, to change it behind its back.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <string>
#include <vector>

namespace reclink::test {

using Rows = std::vector<std::vector<std::string>>;

class Sql {
 public:
  explicit Sql(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
    EXPECT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  }
  ~Sql() { PQfinish(conn_); }
  Sql(const Sql&) = delete;
  Sql& operator=(const Sql&) = delete;

  // The rows of sql as text (NULL as "<null>"); fails the test when refused.
  Rows operator()(const std::string& sql, const std::vector<std::string>& params = {}) {
    std::string why;
    Rows rows = Run(sql, params, &why);
    EXPECT_EQ(why, "") << sql;
    return rows;
  }
  // The first column of the first row of sql's answer ("" when none).
  std::string Value(const std::string& sql) {
    const Rows rows = (*this)(sql);
    return rows.empty() ? "" : rows[0][0];
  }
  // The SQLSTATE with which the server refuses sql, or "" when it runs it.
  std::string Refusal(const std::string& sql) {
    std::string why;
    Run(sql, {}, &why);
    return why.substr(0, 5);
  }
 private:
  Rows Run(const std::string& sql, const std::vector<std::string>& params, std::string* why) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    PGresult* r = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0);
    Rows rows;
    if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK) {
      *why = std::string(PQresultErrorField(r, PG_DIAG_SQLSTATE)) + " " + PQresultErrorMessage(r);
    }
    for (int i = 0; i < PQntuples(r); ++i) {
      rows.emplace_back();
      for (int c = 0; c < PQnfields(r); ++c) {
        rows.back().push_back(PQgetisnull(r, i, c) ? "<null>" : PQgetvalue(r, i, c));
      }
    }
    PQclear(r);
    return rows;
  }

  PGconn* conn_;  // owned
};

}  // namespace reclink::test
