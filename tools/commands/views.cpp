// views: the record files that a database directory keeps on its server,
// shown to SQL reports as read-only views with a typed column per field, in
// a schema of the database's own; and a role given the right to read them.
// Everything of one run happens in one transaction: made whole or not at
// all.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/btr_file.h"
#include "cli/progress.h"
#include "cli/record_fields.h"
#include "cli/report_views.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/recman_server.h"

namespace reclink::cli {
namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// Two runs at once on one server take turns (advisory lock, two-key form).
constexpr const char* kViewsLock = "SELECT pg_advisory_xact_lock(1380144689, 0)";

// The directory's server, for statements run in order: the first one that
// fails makes every later one a no-op, and its reason is kept.
class Server {
 public:
  explicit Server(const std::string& dir) : server_(BtrServerConnect(dir.c_str(), &Keep, &sinks_), &BtrServerClose) {}
  bool ok() const { return server_ != nullptr && why_.empty(); }
  const std::string& why() const { return why_; }
  std::string database() const { return BtrServerDatabase(server_.get()); }

  // Every record file on the server, the oldest first: database, file, table.
  Rows Files() {
    Rows rows;
    sinks_.rows = &rows;
    if (ok()) BtrServerFiles(server_.get(), &Collect, &Keep, &sinks_);
    return rows;
  }
  // Runs sql with params; its rows.
  Rows Run(const std::string& sql, const std::vector<std::string>& params = {}) {
    Rows rows;
    sinks_.rows = &rows;
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    if (ok()) {
      BtrServerRun(server_.get(), sql.c_str(), static_cast<int>(values.size()), values.data(), &Collect, &Keep,
                   &sinks_);
    }
    return rows;
  }
  // Runs sql; false, the failure forgotten, when the server refuses it.
  bool Try(const std::string& sql) {
    Run(sql);
    if (ok()) return true;
    why_.clear();
    return false;
  }

 private:
  struct Sinks {
    std::string* why;  // the first failure
    Rows* rows;        // the rows of the statement running
  };
  static void Keep(void* ctx, const char* problem) {
    std::string* why = static_cast<Sinks*>(ctx)->why;
    if (why->empty()) *why = problem;
  }
  static void Collect(void* ctx, int columns, const char* const* values) {
    Row row;
    for (int c = 0; c < columns; ++c) row.emplace_back(values[c] != nullptr ? values[c] : "");
    static_cast<Sinks*>(ctx)->rows->push_back(std::move(row));
  }

  std::string why_;                                          // the first failure, or ""
  Sinks sinks_{&why_, nullptr};                              // what the sinks fill
  std::unique_ptr<BtrServer, void (*)(BtrServer*)> server_;  // the connection, or null
};

// One record file of the database and the view made of it.
struct FileView {
  std::string table;  // the server's table of its records
  ReportView view;    // its view
};

// The schema of database's views among the databases of files (oldest file
// first); "" with *why when another database's schema has the same name.
std::string SchemaOf(const std::string& database, const Rows& files, std::string* why) {
  const std::string schema = SchemaName(database, files.front()[0] == database);
  for (const Row& f : files) {
    if (f[0] != database && f[0] != files.front()[0] && SchemaName(f[0], false) == schema) {
      *why = "databases " + database + " and " + f[0] + " would both have their views in schema " + schema +
             "; one of them needs another name";
      return "";
    }
  }
  return schema;
}

// Makes (or replaces) view in schema over table: in place when its columns
// allow, else dropped and made anew. The caller's transaction keeps it.
void MakeView(Server& server, const std::string& schema, const FileView& f) {
  server.Run("SAVEPOINT view");
  if (!server.Try(CreateViewSql(f.view, schema, f.table, true))) {
    server.Run("ROLLBACK TO SAVEPOINT view");
    server.Run("DROP VIEW IF EXISTS " + QuoteIdent(schema) + "." + QuoteIdent(f.view.name));
    server.Run(CreateViewSql(f.view, schema, f.table, false));
  }
  server.Run("RELEASE SAVEPOINT view");
  for (const std::string& sql : CommentSql(f.view, schema)) server.Run(sql);
}

// The views of database's files (rows of files) that the catalogue knows,
// each with the fields dump shows: from the catalogue and the file's own
// specification. False after a message when a file cannot be read.
bool CollectViews(Io& io, const std::string& dir, const std::string& database, const Rows& files,
                  const std::string& schema, std::vector<FileView>* views) {
  for (const Row& f : files) {
    if (f[0] != database) continue;
    const RecordFileRow* row = FindRecordFile(f[1].c_str());
    if (row == nullptr) {
      io.err << "reclink views: " << f[1] << " is no file of the database's catalogue; it gets no view\n";
      continue;
    }
    BtrFile file;
    FileSpec spec;
    const std::string path = (std::filesystem::path(dir) / f[1]).string();
    if (!OpenRecordFile(io, "views", path, B_MODE_READ_ONLY, &file, &spec)) return false;
    views->push_back({f[2], ViewOf(*row, database, FieldsOf(f[1], spec), schema)});
  }
  return true;
}

// Makes schema with its text function and views, in one transaction, and
// lets role (if any) and every role that may use the schema read them.
// Returns those roles; a failure stays in server.
Rows Publish(Server& server, Io& io, const std::string& database, const std::string& schema,
             const std::vector<FileView>& views, const std::string& role) {
  server.Run("BEGIN");
  // Names in the views' definitions are bound now: the system's own, never
  // a function that some role put on the search path.
  server.Run("SET LOCAL search_path = pg_catalog, pg_temp");
  server.Run(kViewsLock);
  server.Run("CREATE SCHEMA IF NOT EXISTS " + QuoteIdent(schema));
  server.Run("COMMENT ON SCHEMA " + QuoteIdent(schema) + " IS " +
             QuoteLiteral("Read-only views of the record files of database " + database + ", made by reclink views."));
  server.Run(TextFunctionSql(schema));
  const std::string function = QuoteIdent(schema) + "." + kTextFunction + "(bytea)";
  server.Run("REVOKE ALL ON FUNCTION " + function + " FROM PUBLIC");
  Progress progress(io.err, io.terminal, "making views", views.size());
  for (size_t i = 0; i < views.size() && server.ok(); ++i) {
    MakeView(server, schema, views[i]);
    progress.Update(i + 1);
  }
  progress.Finish();
  if (!role.empty()) server.Run("GRANT USAGE ON SCHEMA " + QuoteIdent(schema) + " TO " + QuoteIdent(role));
  // Every role that may use the schema reads every view of it, also one
  // made anew this time.
  const Rows readers = server.Run(
      "SELECT a.grantee::regrole::text FROM pg_namespace n, aclexplode(n.nspacl) a "
      "WHERE n.nspname = $1 AND a.privilege_type = 'USAGE' AND a.grantee NOT IN (0, n.nspowner) ORDER BY 1",
      {schema});
  for (const Row& reader : readers) {
    server.Run("GRANT EXECUTE ON FUNCTION " + function + " TO " + reader[0]);
    for (const FileView& f : views) {
      server.Run("GRANT SELECT ON " + QuoteIdent(schema) + "." + QuoteIdent(f.view.name) + " TO " + reader[0]);
    }
  }
  server.Run("COMMIT");
  return readers;
}

}  // namespace

int RunViews(const Args& args, Io& io) {
  const std::string& dir = args.operands[0];
  const std::string role = args.Value("--grant");
  Server server(dir);
  if (!server.ok()) return Failure(io, "views", dir + ": " + server.why());
  const std::string database = server.database();
  const Rows files = server.Files();
  if (!server.ok()) return Failure(io, "views", server.why());
  const bool any = std::any_of(files.begin(), files.end(), [&](const Row& f) { return f[0] == database; });
  if (!any) return Failure(io, "views", "the server keeps no files of database " + database + " (" + dir + ")");
  if (!role.empty() && server.Run("SELECT 1 FROM pg_roles WHERE rolname = $1", {role}).empty() && server.ok()) {
    return Failure(io, "views", "the server has no role " + role + "; create it first (docs/server.md, Reports)");
  }
  std::string why;
  const std::string schema = SchemaOf(database, files, &why);
  if (schema.empty()) return Failure(io, "views", why);
  std::vector<FileView> views;
  if (!CollectViews(io, dir, database, files, schema, &views)) return kExitFailure;

  const Rows readers = Publish(server, io, database, schema, views, role);
  if (!server.ok()) {
    return Failure(io, "views", "the server refused the views of database " + database + ": " + server.why() +
                                    "; nothing was changed");
  }
  io.out << views.size() << " views of database " << database << " in schema " << schema << "\n";
  for (const Row& reader : readers) io.out << "role " << reader[0] << " may read them\n";
  return kExitOk;
}

}  // namespace reclink::cli
