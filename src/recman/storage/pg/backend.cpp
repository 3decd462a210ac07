#include "recman/storage/pg/backend.h"

#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "recman/engine/lock_wait.h"
#include "recman/storage/pg/check.h"
#include "recman/storage/pg/connection.h"
#include "recman/storage/pg/notices.h"
#include "recman/storage/pg/schema.h"
#include "recman/storage/pg/session.h"
#include "recman/storage/pg/table.h"
#include "recman/format/record_check.h"
#include "recman/storage/server_config.h"
#include "reclink/btrieve.h"

namespace recman::pg {
namespace {

const std::string kCatalogueLock =
    "SELECT pg_advisory_xact_lock(" + std::to_string(kLockSpace) + ", " + std::to_string(kCatalogueKey) + ")";

class Server final : public Backend {
 public:
  Server(std::string conninfo, uint32_t answerMs, bool readAhead)
      : conninfo_(std::move(conninfo)), answerMs_(answerMs), notices_(conninfo_, answerMs), readAhead_(readAhead) {}

  std::shared_ptr<Session> NewSession() override {
    return std::make_shared<PgSession>(conninfo_, answerMs_, &notices_, readAhead_);
  }

  int Open(Session& session, const std::string& name, std::unique_ptr<Table>* out) override {
    std::string database, file;
    SplitServerFileName(name, &database, &file);
    std::unique_ptr<PgTable> table;
    const int status = PgTable::Open(static_cast<PgSession&>(session), database, file, &table);
    if (status == B_NO_ERROR) *out = std::move(table);
    return status;
  }

  int Create(const std::string& name, const FileLayout& layout, bool replace) override {
    std::string database, file;
    SplitServerFileName(name, &database, &file);
    std::lock_guard<std::mutex> guard(mu_);
    std::string why;
    int status = Connect(&why);
    if (status != B_NO_ERROR) return status;
    status = CreateIn(database, file, layout, replace);
    if (!admin_.broken() && PQtransactionStatus(admin_.get()) != PQTRANS_IDLE) admin_.Exec("ROLLBACK");
    return status;
  }

  // A server's files are backed up on the server, with its own tools.
  int Freeze(const std::string&, std::unique_ptr<FileFreeze>*) override { return B_INVALID_FUNCTION; }

  int Check(const std::string& name, BtrCheckSink sink, void* ctx) override {
    std::string database, file;
    SplitServerFileName(name, &database, &file);
    std::lock_guard<std::mutex> guard(mu_);
    std::string why;
    if (Connect(&why) != B_NO_ERROR) {
      CheckReport(sink, ctx).Problem("cannot reach the server: " + why);
      return -1;
    }
    return CheckServerFile(admin_, database, file, sink, ctx);
  }

  void ForgetAfterFork() override {
    admin_.Abandon();
    notices_.ForgetAfterFork();
  }
  // The server's caches are in its own memory, set in its configuration.
  void SetMemoryBudgetKiB(uint64_t) override {}

  // Removes every file of database from the server, all or none: none may
  // be open anywhere. Returns 0 with *names the files removed, or a status
  // (*why says why).
  int Drop(const std::string& database, std::vector<std::string>* names, std::string* why) {
    std::lock_guard<std::mutex> guard(mu_);
    int status = Connect(why);
    if (status != B_NO_ERROR) return status;
    status = DropIn(database, names, why);
    if (!admin_.broken() && PQtransactionStatus(admin_.get()) != PQTRANS_IDLE) admin_.Exec("ROLLBACK");
    return status;
  }

  // The names of database's files. Returns 0 or a status (*why says why).
  int List(const std::string& database, std::vector<std::string>* names, std::string* why) {
    std::lock_guard<std::mutex> guard(mu_);
    int status = Connect(why);
    if (status != B_NO_ERROR) return status;
    Params p;
    p.Bytes(database);
    Result r = admin_.Query(ListFilesSql(), p);
    names->clear();
    if (NoCatalogueYet(r.sqlstate())) return B_NO_ERROR;
    if (!r.ok()) {
      *why = r.message();
      return admin_.StatusOf(r, Access::kFile);
    }
    for (int i = 0; i < r.rows(); ++i) names->push_back(r.blob(i, 0));
    return B_NO_ERROR;
  }

 private:
  // The connection for Create, Check and listings. Returns 0 or 96 (*why
  // says why). The caller holds mu_.
  int Connect(std::string* why) {
    if (!admin_.broken()) {
      admin_.SetLockTimeout(LockTimeoutMs());
      return B_NO_ERROR;
    }
    return admin_.Open(conninfo_, LockTimeoutMs(), answerMs_, why);
  }

  // Create's work inside the transaction it begins, the catalogue made
  // first if the server has none yet (a role that may only read never
  // makes it); the caller rolls back what is left open.
  int CreateIn(const std::string& database, const std::string& file, const FileLayout& layout, bool replace) {
    Result r = admin_.Exec("BEGIN; " + kCatalogueLock + "; " + CatalogueSql());
    if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
    Params name;
    name.Bytes(database).Bytes(file);
    r = admin_.Query(FindFileSql(), name);
    if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
    int64_t id = 0;
    if (r.rows() > 0) {
      if (!replace) return B_FILE_ALREADY_EXISTS;
      id = r.int8(0, 0);
      // Nobody may have it open, and nobody opens it until it is in place.
      r = admin_.Exec("SELECT pg_try_advisory_xact_lock(" + std::to_string(kLockSpace) + ", " +
                      std::to_string(id) + ")");
      if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
      if (r.rows() != 1 || r.blob(0, 0) != "t") return B_FILE_INUSE;
      r = admin_.Exec(DropSql(id));
      if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
      Params change;
      change.Int(id).Int(kFormatVersion).Bytes(layout.image);
      r = admin_.Query(ReplaceLayoutSql(), change);
    } else {
      Params add;
      add.Bytes(database).Bytes(file).Int(kFormatVersion).Bytes(layout.image);
      r = admin_.Query(AddFileSql(), add);
      if (r.ok()) id = r.int8(0, 0);
    }
    if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
    for (const std::string& sql : CreateStatements(id, layout)) {
      r = admin_.Exec(sql);
      if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
    }
    r = admin_.Exec("COMMIT");
    if (!r.ok()) return admin_.StatusOf(r, Access::kOpen);
    return r.command() == "COMMIT" ? B_NO_ERROR : B_CREATE_IO_ERROR;
  }

  // Drop's work inside the transaction it begins; the caller rolls back
  // what is left open.
  int DropIn(const std::string& database, std::vector<std::string>* names, std::string* why) {
    Result r = admin_.Exec("BEGIN; " + kCatalogueLock);
    if (!r.ok()) return admin_.StatusOf(r, Access::kFile);
    Params p;
    p.Bytes(database);
    r = admin_.Query(HoldFilesSql(), p);
    if (NoCatalogueYet(r.sqlstate())) return B_NO_ERROR;
    if (!r.ok()) return admin_.StatusOf(r, Access::kFile);
    names->clear();
    std::string sql;
    for (int i = 0; i < r.rows(); ++i) {
      if (!r.boolean(i, 2)) {
        *why = r.blob(i, 1) + " is open on a workstation";
        return B_FILE_INUSE;
      }
      names->push_back(r.blob(i, 1));
      sql += DropSql(r.int8(i, 0)) + ";";
    }
    if (!sql.empty() && !(r = admin_.Exec(sql)).ok()) return admin_.StatusOf(r, Access::kFile);
    if (!(r = admin_.Query(ForgetFilesSql(), p)).ok() || !(r = admin_.Exec("COMMIT")).ok()) {
      return admin_.StatusOf(r, Access::kFile);
    }
    return r.command() == "COMMIT" ? B_NO_ERROR : B_IO_ERROR;
  }

  const std::string conninfo_;  // where the server is (may hold a password: never shown)
  const uint32_t answerMs_;     // the longest wait for an answer beyond lock waits
  std::mutex mu_;               // guards admin_
  Connection admin_;            // for Create, Check and listings
  Notices notices_;             // the commits announced to this process
  const bool readAhead_;        // walks read ahead between calls
};

// The server backends of the process, by connection string, answer limit
// and read-ahead.
struct Registry {
  std::mutex mu;                                                     // guards servers
  std::map<std::tuple<std::string, uint32_t, bool>, Server*> servers;  // never destroyed: usable until exit
};

Registry& Servers() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

Backend& ServerBackend(const ServerChoice& choice) {
  Registry& r = Servers();
  std::lock_guard<std::mutex> guard(r.mu);
  const uint32_t answerMs = choice.answerSeconds * 1000;
  Server*& server = r.servers[{choice.conninfo, answerMs, choice.readAhead}];
  if (server == nullptr) server = new Server(choice.conninfo, answerMs, choice.readAhead);
  return *server;
}

std::vector<Backend*> ServerBackends() {
  Registry& r = Servers();
  std::lock_guard<std::mutex> guard(r.mu);
  std::vector<Backend*> out;
  for (const auto& [key, server] : r.servers) out.push_back(server);
  return out;
}

int DropServerFiles(const ServerChoice& server, std::vector<std::string>* names, std::string* why) {
  return static_cast<Server&>(ServerBackend(server)).Drop(server.database, names, why);
}

int ListServerFiles(const ServerChoice& server, std::vector<std::string>* names, std::string* why) {
  return static_cast<Server&>(ServerBackend(server)).List(server.database, names, why);
}

}  // namespace recman::pg
