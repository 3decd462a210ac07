#include "recman/storage/pg/schema.h"

namespace recman::pg {
namespace {

// prefix and n: built by appending, as g++ 12 warns falsely about a short
// literal + std::to_string(...) in optimised builds.
std::string Named(const char* prefix, int64_t n) {
  std::string name = prefix;
  name += std::to_string(n);
  return name;
}

std::string Counter(int64_t id) { return Named("'recman.r", id) + "_pos'"; }

}  // namespace

std::string CatalogueSql() {
  // Names are bytea: a file name is the workstation's bytes, whatever
  // their encoding.
  return "CREATE SCHEMA IF NOT EXISTS recman; "
         "CREATE TABLE IF NOT EXISTS recman.files(id serial PRIMARY KEY, database bytea NOT NULL, "
         "name bytea NOT NULL, format integer NOT NULL, layout bytea NOT NULL, UNIQUE(database, name))";
}

bool NoCatalogueYet(const std::string& sqlstate) {
  return sqlstate == "3F000" || sqlstate == "42P01";  // invalid_schema_name, undefined_table
}

std::string FindFileSql() {
  return "SELECT id::int8, format::int8, layout FROM recman.files WHERE database = $1::bytea AND name = $2::bytea";
}

std::string AddFileSql() {
  return "INSERT INTO recman.files(database, name, format, layout) "
         "VALUES($1::bytea, $2::bytea, $3::int8, $4::bytea) RETURNING id::int8";
}

std::string ReplaceLayoutSql() {
  return "UPDATE recman.files SET format = $2::int8, layout = $3::bytea WHERE id = $1::int8";
}

std::string ListFilesSql() {
  return "SELECT name FROM recman.files WHERE database = $1::bytea ORDER BY name";
}

std::string HoldFilesSql() {
  return "SELECT id::int8, name, pg_try_advisory_xact_lock(" + std::to_string(kLockSpace) +
         ", id) FROM recman.files WHERE database = $1::bytea ORDER BY name";
}

std::string ForgetFilesSql() { return "DELETE FROM recman.files WHERE database = $1::bytea"; }

std::string AllFilesSql() { return "SELECT database, name, id::int8 FROM recman.files ORDER BY id"; }

std::string TableName(int64_t id) { return Named("recman.r", id); }

SqlDialect Dialect(int64_t id) {
  SqlDialect d{};
  d.table = TableName(id);
  d.bytes = "bytea";  // compares bytewise, the order the key encoding is made for
  d.integer = "bigint";
  d.position = "pos bigint PRIMARY KEY";  // positions come from the file's counter
  d.typedParams = true;
  d.notNullBeside = true;
  d.orderUniqueEqual = true;
  d.rowLimitParam = true;  // reads fetch rows ahead
  d.lockRow = " FOR UPDATE";
  return d;  // indexes unnamed, physical ends unbounded, several changes per ALTER
}

std::vector<std::string> CreateStatements(int64_t id, const FileLayout& layout) {
  const SqlDialect d = Dialect(id);
  std::vector<std::string> out;
  // Positions are 32-bit and never reused: the counter stops at the top.
  out.push_back("CREATE SEQUENCE " + d.table + "_pos AS bigint MINVALUE 1 MAXVALUE 4294967295 NO CYCLE");
  out.push_back(CreateTableSql(d, layout));
  for (size_t k = 0; k < layout.keys.size(); ++k) out.push_back(IndexSql(d, layout, k));
  return out;
}

std::string SetKeyValuesSql(int64_t id, const FileLayout& to, const std::vector<PositionedKey>& values) {
  static const char kHex[] = "0123456789abcdef";
  const size_t key = to.keys.size() - 1;
  // The values as literals: positions are numbers and keys hex digits, so
  // the text says nothing but what it means.
  std::string rows;
  for (const PositionedKey& v : values) {
    rows += rows.empty() ? "(" : ", (";
    rows += std::to_string(v.pos) + "::int8, ";
    if (!v.present) {
      rows += "NULL::bytea)";
      continue;
    }
    rows += "'\\x";
    for (const unsigned char c : v.value) {
      rows += kHex[c >> 4];
      rows += kHex[c & 15];
    }
    rows += "'::bytea)";
  }
  // A record's place among duplicates is its position, as for an insert.
  const std::string seq = to.keys[key].duplicates ? ", " + SeqColumn(key) + " = t.pos" : "";
  return "UPDATE " + TableName(id) + " AS t SET " + KeyColumn(key) + " = v.k" + seq + " FROM (VALUES " + rows +
         ") AS v(p, k) WHERE t.pos = v.p";
}

std::string DropSql(int64_t id) {
  // Views that others made on the records (reports) go with the table: a
  // file that Create replaces is a new file.
  return "DROP TABLE IF EXISTS " + TableName(id) + " CASCADE; DROP SEQUENCE IF EXISTS " + TableName(id) +
         "_pos; DO $$BEGIN IF to_regclass('recman.owners') IS NOT NULL THEN DELETE FROM recman.owners WHERE id = " +
         std::to_string(id) + "; END IF; END$$";
}

std::string InsertSql(int64_t id, const FileLayout& layout) {
  std::string cols = "pos, ver, data";
  std::string vals = "n.p, 1, $1::bytea";
  int param = 1;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    cols += ", " + KeyColumn(k);
    vals += ", $" + std::to_string(++param) + "::bytea";
    if (layout.keys[k].duplicates) {
      cols += ", " + SeqColumn(k);
      vals += ", n.p";
    }
  }
  return "INSERT INTO " + TableName(id) + "(" + cols + ") SELECT " + vals + " FROM (SELECT nextval(" +
         Counter(id) + ") AS p) n ON CONFLICT DO NOTHING RETURNING pos";
}

std::string NextSequenceSql(int64_t id) { return "SELECT nextval(" + Counter(id) + ")"; }

const OwnerSql& OwnerStatements() {
  static const OwnerSql owners{
      "SELECT to_regclass('recman.owners') IS NOT NULL",
      "SELECT name, read_without FROM recman.owners WHERE id = $1::int8",
      "CREATE TABLE IF NOT EXISTS recman.owners(id int8 PRIMARY KEY, name bytea NOT NULL, "
      "read_without boolean NOT NULL)",
      "DELETE FROM recman.owners WHERE id = $1::int8",
      "INSERT INTO recman.owners(id, name, read_without) VALUES($1::int8, $2::bytea, $3::int8 <> 0) "
      "ON CONFLICT DO NOTHING",
  };
  return owners;
}

std::string LockExclusiveSql(int64_t id) { return "LOCK TABLE " + TableName(id) + " IN EXCLUSIVE MODE"; }

std::string LockWritersSql(int64_t id) {
  return "LOCK TABLE " + TableName(id) + " IN SHARE ROW EXCLUSIVE MODE";
}

}  // namespace recman::pg
