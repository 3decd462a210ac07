// The SQL of record files kept on a server: the catalogue of files, each
// file's table, and the statements the backend prepares once per
// connection. Every identifier is made here from a file's number, never
// from a name a caller gave; names and values travel as parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/format/key_codec.h"
#include "recman/storage/storage.h"
#include "recman/storage/table_sql.h"

namespace recman::pg {

// The version of the layout below, kept per file in the catalogue.
inline constexpr int kFormatVersion = 1;
// Advisory locks (two-key form): key 1 is kLockSpace, key 2 a file's
// number for the claim of an open file, 0 for changes to the catalogue.
inline constexpr int32_t kLockSpace = 0x52434d31;
inline constexpr int32_t kCatalogueKey = 0;
// The mark of a transaction that holds a file (two-key form: this, then
// the file's number), so that other sessions' lock requests see it; the
// transaction's own, it goes when the transaction ends.
inline constexpr int32_t kTransactionSpace = 0x52434d32;

// Whether a statement on the catalogue failed with sqlstate because there is
// no catalogue yet: nothing was ever created on this server, so it keeps no
// file.
bool NoCatalogueYet(const std::string& sqlstate);

// Makes the schema and the catalogue when they are missing (run under the
// catalogue's lock).
std::string CatalogueSql();
// The catalogue row of file ($1 database, $2 name): id, format, layout.
std::string FindFileSql();
// A new catalogue row ($1 database, $2 name, $3 format, $4 layout): id.
std::string AddFileSql();
// The new layout of file $1 ($2 format, $3 layout).
std::string ReplaceLayoutSql();
// Every file of database $1: name (for the utility).
std::string ListFilesSql();
// Every file of every database, the oldest first: database, name, id.
std::string AllFilesSql();
// Every file of database $1, each held against any open (none may be open),
// ids and names; a file in use has its row with held false.
std::string HoldFilesSql();
// Removes every catalogue row of database $1.
std::string ForgetFilesSql();

// The qualified name of file id's table; how the server spells the
// statements of its records (table_sql.h).
std::string TableName(int64_t id);
SqlDialect Dialect(int64_t id);
// Statements that make file id's table, its position counter and its key
// indexes; and those that drop them.
std::vector<std::string> CreateStatements(int64_t id, const FileLayout& layout);
std::string DropSql(int64_t id);

// Create Index: the statement that sets the new key's values (the last
// key of `to`) of the records in `values`, all in one.
std::string SetKeyValuesSql(int64_t id, const FileLayout& to, const std::vector<PositionedKey>& values);

// INSERT of $1 data and each key's value ($2...): the position comes from
// the counter and is the record's place among duplicates on every key.
// Returns pos; no row when a unique key's value is taken.
std::string InsertSql(int64_t id, const FileLayout& layout);
// The next number of the position counter.
std::string NextSequenceSql(int64_t id);
// The owners' statements: one table keeps the owners of all the server's
// files, by file number ($1).
const OwnerSql& OwnerStatements();

// The file's lock for a client's transaction: others read, nobody else
// writes. And the lock that keeps other writers out while an
// autoincrement value is chosen.
std::string LockExclusiveSql(int64_t id);
std::string LockWritersSql(int64_t id);

}  // namespace recman::pg
