// SQL on a directory's server for administrators' tools (recman_server.h):
// a connection of its own, beside the ones that serve record operations.
#include "reclink/recman_server.h"

#include <memory>
#include <string>
#include <vector>

#include "recman/engine/lock_wait.h"
#include "recman/format/record_check.h"
#include "recman/api/server_files.h"
#include "reclink/btrieve.h"
#ifdef RECMAN_SERVER_BACKEND
#include "recman/storage/pg/connection.h"
#include "recman/storage/pg/schema.h"
#endif

struct BtrServer {
#ifdef RECMAN_SERVER_BACKEND
  recman::pg::Connection conn;  // the tool's own
#endif
  std::string database;  // the directory's name on the server
};

extern "C" BtrServer* BtrServerConnect(const char* dir, BtrCheckSink problem, void* ctx) {
  using namespace recman;
  CheckReport report(problem, ctx);
  try {
    std::string canonical;
    ServerChoice choice;
    if (!ServerOfDirectory(dir, &canonical, &choice, report)) return nullptr;
#ifdef RECMAN_SERVER_BACKEND
    auto server = std::make_unique<BtrServer>();
    std::string why;
    if (server->conn.Open(choice.conninfo, LockTimeoutMs(), choice.answerSeconds * 1000u, &why) != B_NO_ERROR) {
      report.Problem("cannot reach the server: " + why);
      return nullptr;
    }
    server->database = choice.database;
    return server.release();
#else
    return nullptr;  // ServerOfDirectory said why
#endif
  } catch (...) {
    report.Problem("out of memory");
    return nullptr;
  }
}

extern "C" void BtrServerClose(BtrServer* server) { delete server; }

extern "C" const char* BtrServerDatabase(const BtrServer* server) { return server->database.c_str(); }

extern "C" int BtrServerFiles(BtrServer* server, BtrServerRowSink row, BtrCheckSink problem, void* ctx) {
  recman::CheckReport report(problem, ctx);
#ifdef RECMAN_SERVER_BACKEND
  using namespace recman::pg;
  try {
    Result r = server->conn.Query(AllFilesSql(), Params());
    // No catalogue yet: nothing was ever created on this server.
    if (r.sqlstate() == "3F000" || r.sqlstate() == "42P01") return 0;
    if (!r.ok()) {
      report.Problem("cannot list the server's files: " + r.message());
      return -1;
    }
    for (int i = 0; i < r.rows(); ++i) {
      const std::string database = r.blob(i, 0), name = r.blob(i, 1), table = TableName(r.int8(i, 2));
      const char* values[] = {database.c_str(), name.c_str(), table.c_str()};
      if (row != nullptr) row(ctx, 3, values);
    }
    return r.rows();
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
#else
  (void)server;
  (void)row;
  report.Problem("this record manager was built without the server backend");
  return -1;
#endif
}

extern "C" int BtrServerRun(BtrServer* server, const char* sql, int paramCount, const char* const* params,
                            BtrServerRowSink row, BtrCheckSink problem, void* ctx) {
  recman::CheckReport report(problem, ctx);
#ifdef RECMAN_SERVER_BACKEND
  try {
    // Text in, text out: the tool's statements are its own to read.
    PGresult* result = PQexecParams(server->conn.get(), sql, paramCount, nullptr, params, nullptr, nullptr, 0);
    const int columns = result != nullptr ? PQnfields(result) : 0;
    const char* detail = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL) : nullptr;
    const std::string more = detail != nullptr ? std::string(" (") + detail + ")" : "";
    const recman::pg::Result r(result);
    if (!r.ok()) {
      report.Problem(r.message() + more);
      return -1;
    }
    std::vector<const char*> values(static_cast<size_t>(columns));
    for (int i = 0; row != nullptr && i < r.rows(); ++i) {
      for (int c = 0; c < columns; ++c) {
        values[static_cast<size_t>(c)] = r.null(i, c) ? nullptr : reinterpret_cast<const char*>(r.bytes(i, c));
      }
      row(ctx, columns, values.data());
    }
    return 0;
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
#else
  (void)server, (void)sql, (void)paramCount, (void)params, (void)row;
  report.Problem("this record manager was built without the server backend");
  return -1;
#endif
}
