// The SQL of a record file kept in SQLite: its tables and indexes, and the
// statements the engine prepares once per connection. Nothing here runs per
// call.
#pragma once

#include <string>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/storage/storage.h"

namespace recman::sqlite {

// Identifies our files: the value of recman_file.magic.
inline constexpr const char* kFileMagic = "reclink record file";
// The version of the layout below, kept in recman_file.format.
inline constexpr int kFormatVersion = 1;
// The highest position: positions are 32-bit.
inline constexpr int64_t kMaxPosition = 4294967295;

// Statements that create a new file's tables and indexes, in order.
std::vector<std::string> CreateStatements(const FileLayout& layout);

// The table of undo images of a transaction over several files; key
// `key`'s index (named "key" and its number).
std::string UndoTableSql(const FileLayout& layout);
std::string IndexSql(const FileLayout& layout, size_t key);

// Create Index: the statements that add the last key of `to` to the
// records (its values still null) and remake the undo table for it; the
// records after position ?1 (pos, data), at most ?2 of them, for filling
// the new key in; the statement that sets its value ?2 for the record at
// ?1. IndexSql(to, last) then makes its index.
std::vector<std::string> AddKeyStatements(const FileLayout& to);
std::string KeyValuesSql();
std::string SetKeyValueSql(const FileLayout& to);
// Drop Index: the statements that take key `key` of `from` out, leaving
// the keys, indexes and undo table of `to`.
std::vector<std::string> DropKeyStatements(const FileLayout& from, const FileLayout& to, size_t key);
// Replaces the layout image of the identification row with ?1.
std::string WriteLayoutSql();

// Reads the identification row: magic, format, layout image.
std::string ReadHeaderSql();
// Stores the identification row: ?1 magic, ?2 format, ?3 layout image.
std::string WriteHeaderSql();

// Along key `key`: the columns pos, ver, data, k, s (s is 0 on a unique
// key) of at most one record; ?1 is the value, ?2 the place among
// duplicates (kNext and kPrevious on keys with duplicates).
std::string SeekSql(const FileLayout& layout, size_t key, Seek seek);
// A walk along key `key` from (?1, ?2) on, one record per step, no LIMIT:
// the same columns as SeekSql.
std::string WalkSql(const FileLayout& layout, size_t key, bool forward);

// A scan along key `key` from (?1, ?2) on as WalkSql, or with key -1 in
// physical order from position ?1 on: pos and data only.
std::string ScanSql(const FileLayout& layout, int key, bool forward);

// Physical order: pos, ver, data of at most one record, from position ?1.
std::string StepSql(Step step);
// A walk in physical order from position ?1 on, one record per step.
std::string StepWalkSql(bool forward);

// INSERT: ?1 data, then k of every key; the position comes from
// AUTOINCREMENT and is also the place of the record among duplicates on
// every key.
std::string InsertSql(const FileLayout& layout);
// UPDATE of pos ?1: ?2 data, then k and (duplicates only) s of every key.
std::string UpdateSql(const FileLayout& layout);
// DELETE of pos ?1 if its version is ?2.
std::string DeleteSql();
// The stored ver, data and the s of every key (0 on unique keys) of pos ?1.
std::string RowSql(const FileLayout& layout);
// Takes the next number of the position counter (no row once out of positions).
std::string NextSequenceSql();
// The last number the position counter handed out (0: none yet).
std::string HandedOutSql();
// Sets the position counter to n (statements for sqlite3_exec).
std::string SetHandedOutSql(int64_t n);
// The owner: whether the file has the table that keeps one (files get it
// with their first owner), what it holds, the table made, its row stored
// (?1 name, ?2 read without it; nothing when it has one) and taken away.
std::string HasOwnerTableSql();
std::string ReadOwnerSql();
std::string MakeOwnerTableSql();
std::string WriteOwnerSql();
std::string ClearOwnerSql();

// Counts: records; distinct non-null values of key `key`.
std::string CountSql();
std::string CountValuesSql(size_t key);
// The records on the path of key `key` (physical order with key -1): all
// of them, or with before those before (?1, ?2) on a key, before position
// ?1 in physical order.
std::string CountOnPathSql(const FileLayout& layout, int key, bool before);
// The record ?1 records from the start of that path: the columns of
// SeekSql on a key, of StepSql in physical order.
std::string NthSql(const FileLayout& layout, int key);

// The columns of a stored record after pos: ver, data, k and s columns;
// with declared, with their types (for CREATE TABLE).
std::string RowColumns(const FileLayout& layout, bool declared);
// Keeps record ?2 as it is now under transaction ?1, unless already kept.
std::string SaveBeforeSql(const FileLayout& layout);
// Notes that record ?2 did not exist before transaction ?1.
std::string SaveInsertedSql();
// Puts back every record that transaction ?1 kept and that existed before.
std::string RestoreSql(const FileLayout& layout);
// Whether any transaction over several files waits to be settled here.
std::string PendingSql();
// Column names of key k: k<k> and s<k>.
std::string KeyColumn(size_t key);
std::string SeqColumn(size_t key);

}  // namespace recman::sqlite
