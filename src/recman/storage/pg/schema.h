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

// The qualified name of file id's table.
std::string TableName(int64_t id);
// Statements that make file id's table, its position counter and its key
// indexes; and those that drop them.
std::vector<std::string> CreateStatements(int64_t id, const FileLayout& layout);
std::string DropSql(int64_t id);
// The index of key `key` of file id.
std::string IndexSql(int64_t id, const FileLayout& layout, size_t key);

// Create Index: the statement that adds the last key of `to` to file id's
// records (its values still null); the records after position $1 (pos,
// data), at most $2 of them, for filling the new key in; the statement
// that sets the new key's values of the records in `values`. IndexSql(id,
// to, last) then makes its index.
std::string AddKeySql(int64_t id, const FileLayout& to);
std::string KeyValuesSql(int64_t id);
std::string SetKeyValuesSql(int64_t id, const FileLayout& to, const std::vector<PositionedKey>& values);
// Drop Index: the statements that take key `key` of `from` out of file
// id's records, the keys after it moving down one.
std::vector<std::string> DropKeyStatements(int64_t id, const FileLayout& from, size_t key);

// Along key `key`: pos, ver, data, k, s (0 on unique keys). $1 the value;
// kNext and kPrevious go on from ($1, $2 the place among duplicates) on
// keys with duplicates, from $1 on unique keys, and take the row limit as
// their last parameter.
std::string SeekSql(int64_t id, const FileLayout& layout, size_t key, Seek seek);
// Physical order: pos, ver, data; kNext and kPrevious from position $1,
// with the row limit as $2.
std::string StepSql(int64_t id, Step step);
// INSERT of $1 data and each key's value ($2...): the position comes from
// the counter and is the record's place among duplicates on every key.
// Returns pos; no row when a unique key's value is taken.
std::string InsertSql(int64_t id, const FileLayout& layout);
// UPDATE of pos $1: $2 data, then k and (duplicates only) s of every key.
std::string UpdateSql(int64_t id, const FileLayout& layout);
// DELETE of pos $1 if its version is $2.
std::string DeleteSql(int64_t id);
// ver, data and the s of every key (0 on unique keys) of pos $1; locked
// for the write when forUpdate.
std::string RowSql(int64_t id, const FileLayout& layout, bool forUpdate);
// The next number of the position counter.
std::string NextSequenceSql(int64_t id);
// The owners of a server's files, in a table of their own that the first
// owner makes (a catalogue made before owners existed stays as it is):
// whether it is there, the owner of file $1, the table made, file $1's
// owner taken away, and given ($2 name, $3 read without it; nothing when
// it has one).
std::string HasOwnersSql();
std::string ReadOwnerSql();
std::string MakeOwnersSql();
std::string ClearOwnerSql();
std::string WriteOwnerSql();

// Counts: records; distinct non-null values of key `key`.
std::string CountSql(int64_t id);
std::string CountValuesSql(int64_t id, size_t key);
// The records on the path of key `key` (physical order with key -1): all
// of them, or with before those before ($1, $2) on a key, before position
// $1 in physical order.
std::string CountOnPathSql(int64_t id, const FileLayout& layout, int key, bool before);
// The record $1 records from the start of that path: the columns of
// SeekSql on a key, of StepSql in physical order.
std::string NthSql(int64_t id, const FileLayout& layout, int key);
// Every stored record with its key columns, for the check: pos, data,
// then k and s of every key.
std::string CheckRowsSql(int64_t id, const FileLayout& layout);
// The file's lock for a client's transaction: others read, nobody else
// writes. And the lock that keeps other writers out while an
// autoincrement value is chosen.
std::string LockExclusiveSql(int64_t id);
std::string LockWritersSql(int64_t id);

}  // namespace recman::pg
