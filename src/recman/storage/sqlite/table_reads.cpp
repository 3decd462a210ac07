// Reads of a record file kept in SQLite: by key, in physical order, by
// position, counts and the owner.
#include "recman/storage/row_io.h"
#include "recman/storage/slots.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
int SqliteTable::Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq,
                      uint64_t walker, Row* row) {
  PrepareRead();
  const bool along = seek == Seek::kNext || seek == Seek::kPrevious;
  // Within one snapshot a walk steps the same statement on from call to
  // call; anywhere else every call seeks afresh from the place it is given.
  Walk* walk = along && snapshotOpen_ && walker != 0 ? &walks_[DirectedSlot(key, seek != Seek::kNext)] : nullptr;
  sqlite3_stmt* stmt;
  if (walk != nullptr) {
    const int rc = Ready(walk->stmt, [&] { return WalkSql(layout_, key, seek == Seek::kNext); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = walk->stmt.get();
    const bool continuing = walk->owner == walker && walk->snapshot == snapshotGeneration_ &&
                            walk->atValue == value && walk->atSeq == seq;
    if (!continuing) {
      sqlite3_reset(stmt);
      sqlite3_bind_blob(stmt, 1, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(stmt, 2, seq);
      walk->owner = walker;
      walk->snapshot = snapshotGeneration_;
    }
  } else {
    Statement& s = seek_[SeekSlot(key, seek)];
    const int rc = Ready(s, [&] { return SeekSql(Dialect(), layout_, key, seek); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = Hold(s);
    if (seek != Seek::kFirst && seek != Seek::kLast) {
      BindBytes(stmt, 1, value);
      if (along) sqlite3_bind_int64(stmt, 2, seq);
    }
  }
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && walk != nullptr) {
    sqlite3_reset(stmt);
    walk->owner = 0;
  }
  if (rc == SQLITE_DONE) return seek == Seek::kEqual ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  recman::FillRow(Columns{stmt}, true, row);
  if (walk != nullptr) {
    walk->atValue.assign(reinterpret_cast<const char*>(row->key), row->keyLength);
    walk->atSeq = row->seq;
  }
  return B_NO_ERROR;
}

int SqliteTable::Step(recman::Step step, int64_t from, uint64_t walker, Row* row) {
  PrepareRead();
  const bool along = step == recman::Step::kNext || step == recman::Step::kPrevious;
  const size_t w = DirectedSlot(layout_.keys.size(), step != recman::Step::kNext);
  Walk* walk = along && snapshotOpen_ && walker != 0 ? &walks_[w] : nullptr;
  sqlite3_stmt* stmt;
  if (walk != nullptr) {
    const int rc = Ready(walk->stmt, [&] { return StepWalkSql(step == recman::Step::kNext); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = walk->stmt.get();
    const bool continuing = walk->owner == walker && walk->snapshot == snapshotGeneration_ && walk->atSeq == from;
    if (!continuing) {
      sqlite3_reset(stmt);
      sqlite3_bind_int64(stmt, 1, from);
      walk->owner = walker;
      walk->snapshot = snapshotGeneration_;
    }
  } else {
    Statement& s = step_[static_cast<int>(step)];
    const int rc = Ready(s, [&] { return StepSql(Dialect(), step); });
    if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
    stmt = Hold(s);
    if (along) sqlite3_bind_int64(stmt, 1, from);
  }
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && walk != nullptr) {
    sqlite3_reset(stmt);
    walk->owner = 0;
  }
  if (rc == SQLITE_DONE) return B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  recman::FillRow(Columns{stmt}, false, row);
  if (walk != nullptr) walk->atSeq = row->pos;
  return B_NO_ERROR;
}

int SqliteTable::ReadAt(int64_t pos, int key, Row* row) {
  PrepareRead();
  int rc = Ready(row_, [&] { return RowSql(Dialect(), layout_, false); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(row_);
  sqlite3_bind_int64(stmt, 1, pos);
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_BAD_RECORD_ADDRESS;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  FillRowAt(Columns{stmt}, pos, key, row);
  return B_NO_ERROR;
}

int SqliteTable::Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t,
                      ScanVisitor& visitor) {
  PrepareRead();
  const size_t at = DirectedSlot(PathOf(key, layout_.keys.size()), !forward);
  int rc = Ready(scans_[at], [&] { return ScanSql(layout_, key, forward); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  // One statement over the whole scan: one read, whatever others commit.
  StatementUse use(scans_[at]);
  if (key < 0) {
    sqlite3_bind_int64(*use, 1, from);
  } else {
    BindBytes(*use, 1, value);
    if (layout_.keys[key].duplicates) sqlite3_bind_int64(*use, 2, seq);
  }
  Row row;
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
    row.pos = sqlite3_column_int64(*use, 0);
    row.data = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
    row.length = static_cast<uint32_t>(sqlite3_column_bytes(*use, 1));
    if (!visitor.Visit(row)) return B_NO_ERROR;
  }
  return rc == SQLITE_DONE ? B_END_OF_FILE : Failure(rc, Access::kFile);
}

int SqliteTable::CountRecords(uint64_t* n) {
  PrepareRead();
  int rc = Ready(count_, [&] { return CountSql(Dialect()); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(count_);
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::CountValues(size_t key, uint64_t* n) {
  PrepareRead();
  int rc = Ready(countValues_[key], [&] { return CountValuesSql(Dialect(), key); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(countValues_[key]);
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                             uint64_t* n) {
  PrepareRead();
  Statement& s = countOnPath_[DirectedSlot(PathOf(key, layout_.keys.size()), before)];
  int rc = Ready(s, [&] { return CountOnPathSql(Dialect(), layout_, key, before); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(s);
  if (before && key < 0) {
    sqlite3_bind_int64(stmt, 1, pos);
  } else if (before) {
    BindBytes(stmt, 1, value);
    if (layout_.keys[key].duplicates) sqlite3_bind_int64(stmt, 2, seq);
  }
  rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  *n = static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
  return B_NO_ERROR;
}

int SqliteTable::ReadNth(int key, uint64_t n, Row* row) {
  PrepareRead();
  Statement& s = nth_[PathOf(key, layout_.keys.size())];
  int rc = Ready(s, [&] { return NthSql(Dialect(), layout_, key); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(s);
  sqlite3_bind_int64(stmt, 1, static_cast<int64_t>(n));
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_END_OF_FILE;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  recman::FillRow(Columns{stmt}, key >= 0, row);
  return B_NO_ERROR;
}

int SqliteTable::ReadOwner(Owner* owner) {
  PrepareRead();
  *owner = Owner();
  // The owner's table is there once a file has had an owner; its statement
  // is prepared only then.
  int rc = Ready(hasOwner_, [] { return OwnerStatements().exists; });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  sqlite3_stmt* stmt = Hold(hasOwner_);
  if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) return Failure(rc, Access::kFile);
  if (sqlite3_column_int(stmt, 0) == 0) return B_NO_ERROR;
  if ((rc = Ready(readOwner_, [] { return OwnerStatements().read; })) != SQLITE_OK) return Failure(rc, Access::kFile);
  stmt = Hold(readOwner_);
  rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return B_NO_ERROR;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  owner->name.assign(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
  owner->readWithout = sqlite3_column_int(stmt, 1) != 0;
  return B_NO_ERROR;
}

}  // namespace recman::sqlite
