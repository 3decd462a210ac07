// Every statement the engine runs on a record file has a plan without a
// temporary B-tree and without a scan of the records: a sort or a full scan
// on a path that should seek would make each call grow with the file.
// The statements are caught as SQLite runs them, while the call scripts and
// two seeds of the model test run (between them every kind of seek and step
// on every kind of key, in and out of transactions, and a commit over two
// files), so that a statement added later is checked without being listed
// here.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <mutex>
#include <string>

#include "call_script.h"
#include "support/btr_file.h"

namespace reclink::test {

void RunModel(unsigned seed);  // model_test.cpp

namespace {

std::mutex g_mu;                              // guards g_plans
std::map<std::string, std::string> g_plans;  // the plan of every statement run, by its SQL

// The plan of sql on db, one line per step.
std::string PlanOf(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    return std::string("cannot explain: ") + sqlite3_errmsg(db);
  }
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) plan += std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3))) + "\n";
  sqlite3_finalize(stmt);
  return plan;
}

// Explains each statement that reads or writes rows as it starts, on the
// connection that runs it: the scripts' record files are gone by the end.
int RecordStatement(unsigned, void*, void* statement, void*) {
  auto* stmt = static_cast<sqlite3_stmt*>(statement);
  const std::string sql = sqlite3_sql(stmt) != nullptr ? sqlite3_sql(stmt) : "";
  const std::string verb = sql.substr(0, sql.find(' '));
  if (verb != "SELECT" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE") return 0;
  std::lock_guard<std::mutex> guard(g_mu);
  if (g_plans.count(sql) == 0) g_plans[sql] = PlanOf(sqlite3_db_handle(stmt), sql);
  return 0;
}

// Runs on every connection opened in this process, the engine's too.
int WatchConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, RecordStatement, nullptr);
  return SQLITE_OK;
}

// Statements that read the whole file by their nature: Stat's counts and the
// file check (which must not trust the indexes).
bool WholeFileByNature(const std::string& sql) {
  return sql.find("count(") != std::string::npos || sql.find("NOT INDEXED") != std::string::npos;
}

// Scans of the small tables beside the records: the position counter (one
// row) and what a transaction over several files leaves behind (empty but
// while such a transaction ends).
bool ScansOnlyBookkeeping(const std::string& plan) {
  for (size_t at = plan.find("SCAN "); at != std::string::npos; at = plan.find("SCAN ", at + 1)) {
    if (plan.compare(at, 12, "SCAN recman_") != 0 && plan.compare(at, 20, "SCAN sqlite_sequence") != 0) {
      return false;
    }
  }
  return true;
}

TEST(PlanTest, NoStatementSortsOrScansTheRecords) {
  sqlite3_auto_extension(reinterpret_cast<void (*)()>(WatchConnection));
  for (const char* script : {RECMAN_SCRIPTS}) RunCallScript(script);
  // Every kind of seek and step on unique keys, duplicates and an integer
  // key, and updates and transactions among them: the model's operations.
  for (unsigned seed : {1u, 101u}) RunModel(seed);
  Tx(B_RESET);
  sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(WatchConnection));

  for (const auto& [sql, plan] : g_plans) {
    if (WholeFileByNature(sql)) continue;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("cannot explain"), std::string::npos) << sql << "\n" << plan;
    EXPECT_TRUE(ScansOnlyBookkeeping(plan)) << sql << "\n" << plan;
  }
  EXPECT_GT(g_plans.size(), 30u) << "the engine's statements were not caught";
}

}  // namespace
}  // namespace reclink::test
