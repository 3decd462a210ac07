// Writes to a record file kept in SQLite: the write lock, records, keys
// and the owner.
#include "recman/format/key_codec.h"
#include "recman/storage/key_fill.h"
#include "recman/storage/one_write.h"
#include "recman/storage/row_io.h"
#include "recman/storage/slots.h"
#include "recman/storage/sqlite/multi_commit.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/session.h"
#include "recman/storage/sqlite/status_map.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
int SqliteTable::TakeWriteLock(Access access) {
  for (;;) {
    int rc = RunControl(begin_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_DONE) return StatusFromSqlite(rc, access);
    rc = Ready(pending_, [&] { return PendingSql(); });
    bool pending = false;
    if (rc == SQLITE_OK) {
      StatementUse use(pending_);
      rc = sqlite3_step(*use);
      pending = rc == SQLITE_ROW;
      if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) {
      Rollback();
      return StatusFromSqlite(rc, access);
    }
    if (!pending) return B_NO_ERROR;
    // Settled in a transaction of its own, kept whatever becomes of the
    // write that found it; then the lock is taken afresh.
    int status = SettleParticipant(db_, layout_, path_);
    if (status == B_NO_ERROR && (rc = RunControl(commit_, "COMMIT")) != SQLITE_DONE) {
      status = StatusFromSqlite(rc, access);
    }
    if (status != B_NO_ERROR) {
      Rollback();
      return status;
    }
  }
}

int SqliteTable::BeginWrite(Access access) {
  if (!writable_) return B_ACCESS_DENIED;
  EndSnapshot();
  EndCall();
  ApplyBudget();
  if (joined_) return B_NO_ERROR;
  // Outside a transaction every write takes the write lock, so that what it
  // reads before it writes stays true.
  const int status = TakeWriteLock(access);
  ownWrite_ = status == B_NO_ERROR;
  return status;
}

int SqliteTable::FinishWrite(bool commit, Access access) {
  EndCall();
  if (!ownWrite_) return B_NO_ERROR;
  ownWrite_ = false;
  if (commit) {
    const int rc = RunControl(commit_, "COMMIT");
    if (rc == SQLITE_DONE) return B_NO_ERROR;
    Rollback();
    return StatusFromSqlite(rc, access);
  }
  Rollback();
  return B_NO_ERROR;
}

int SqliteTable::ChangeKeys(const FileLayout& to, const std::function<int()>& change) {
  // No statement made for the old keys may stay open across the change, nor
  // be used after it.
  ForgetStatements();
  const int status = InOneWrite(*this, Access::kFile, [&]() -> int {
    const int changed = change();
    if (changed != B_NO_ERROR) return changed;
    Statement write;
    int rc = write.Prepare(db_, WriteLayoutSql());
    if (rc == SQLITE_OK) {
      sqlite3_bind_blob(write.get(), 1, to.image.data(), static_cast<int>(to.image.size()), SQLITE_STATIC);
      rc = RunOnce(write);
    }
    return rc == SQLITE_DONE ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
  });
  ForgetStatements();
  if (status == B_NO_ERROR) layout_ = to;
  SizeStatements();
  return status;
}

int SqliteTable::AddKey(const FileLayout& to) {
  return ChangeKeys(to, [&]() -> int {
    Statement read, write;
    int rc = ExecAll(db_, AddKeyStatements(to));
    if (rc == SQLITE_OK) rc = read.Prepare(db_, KeyValuesSql(Dialect()));
    if (rc == SQLITE_OK) rc = write.Prepare(db_, SetKeyValueSql(to));
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Access::kFile);
    const int status = FillNewKey(
        to,
        [&](int64_t after, int64_t limit, auto&& take) -> int {
          StatementUse use(read);
          sqlite3_bind_int64(*use, 1, after);
          sqlite3_bind_int64(*use, 2, limit);
          int step;
          while ((step = sqlite3_step(*use)) == SQLITE_ROW) {
            const Columns row{*use};
            if (!take(row.Int(0), row.Bytes(1), row.Length(1))) return B_NO_ERROR;
          }
          return step == SQLITE_DONE ? B_NO_ERROR : StatusFromSqlite(step, Access::kFile);
        },
        [&](const std::vector<PositionedKey>& batch) -> int {
          for (const PositionedKey& v : batch) {
            StatementUse use(write);
            sqlite3_bind_int64(*use, 1, v.pos);
            // A null value binds null: the statement keeps the last record's value otherwise.
            if (v.present) {
              BindBytes(*use, 2, v.value);
            } else {
              sqlite3_bind_null(*use, 2);
            }
            const int step = sqlite3_step(*use);
            if (step != SQLITE_DONE) return StatusFromSqlite(step, Access::kFile);
          }
          return B_NO_ERROR;
        });
    if (status != B_NO_ERROR) return status;
    rc = sqlite3_exec(db_, IndexSql(Dialect(), to, to.keys.size() - 1).c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
  });
}

int SqliteTable::DropKey(const FileLayout& to, size_t key) {
  const FileLayout from = layout_;
  return ChangeKeys(to, [&]() -> int {
    const int rc = ExecAll(db_, DropKeyStatements(from, to, key));
    return rc == SQLITE_OK ? B_NO_ERROR : StatusFromSqlite(rc, Access::kFile);
  });
}

int SqliteTable::HighestValue(size_t key, std::string* value) {
  Statement& s = seek_[SeekSlot(key, Seek::kLast)];
  int rc = Ready(s, [&] { return SeekSql(Dialect(), layout_, key, Seek::kLast); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  StatementUse use(s);
  rc = sqlite3_step(*use);
  value->clear();
  if (rc == SQLITE_DONE) return B_NO_ERROR;
  if (rc != SQLITE_ROW) return Failure(rc, Access::kFile);
  value->assign(static_cast<const char*>(sqlite3_column_blob(*use, 3)),
                static_cast<size_t>(sqlite3_column_bytes(*use, 3)));
  return B_NO_ERROR;
}

int SqliteTable::NoteWrite(int64_t pos, bool inserted) {
  if (!joined_) return B_NO_ERROR;
  written_ = true;
  const int64_t txid = session_.UndoNeeded(*this);
  if (txid == 0) return B_NO_ERROR;
  Statement& s = inserted ? saveInserted_ : saveBefore_;
  int rc = Ready(s, [&] { return inserted ? SaveInsertedSql() : SaveBeforeSql(layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  StatementUse use(s);
  sqlite3_bind_int64(*use, 1, txid);
  sqlite3_bind_int64(*use, 2, pos);
  rc = sqlite3_step(*use);
  return rc == SQLITE_DONE ? B_NO_ERROR : Failure(rc, Access::kFile);
}

int SqliteTable::Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) {
  int rc = Ready(insert_, [&] { return InsertSql(layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kFile);
  {
    StatementUse use(insert_);
    sqlite3_bind_blob(*use, 1, data, static_cast<int>(length), SQLITE_STATIC);
    Binder bind{*use, 2};
    BindKeys(bind, layout_, keys, nullptr);
    rc = sqlite3_step(*use);
    if (rc != SQLITE_DONE) return Failure(rc, Access::kFile);
  }
  *pos = sqlite3_last_insert_rowid(db_);
  if (*pos > kMaxPosition) {
    // Out of 32-bit positions: the record goes again, and so will every
    // later one (the counter stays where it is).
    Ready(erase_, [&] { return DeleteSql(Dialect()); });
    StatementUse use(erase_);
    sqlite3_bind_int64(*use, 1, *pos);
    sqlite3_bind_int64(*use, 2, 1);
    rc = sqlite3_step(*use);
    return rc == SQLITE_DONE ? B_DISK_FULL : Failure(rc, Access::kFile);
  }
  return NoteWrite(*pos, true);
}

int SqliteTable::ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) {
  int rc = Ready(row_, [&] { return RowSql(Dialect(), layout_, false); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(row_);
  sqlite3_bind_int64(*use, 1, pos);
  rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_CONFLICT;  // deleted by someone since it was read
  if (rc != SQLITE_ROW) return Failure(rc, Access::kRecord);
  *ver = sqlite3_column_int64(*use, 0);
  const char* bytes = static_cast<const char*>(sqlite3_column_blob(*use, 1));
  data->assign(bytes != nullptr ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(*use, 1)));
  seqs->resize(layout_.keys.size());
  for (size_t k = 0; k < layout_.keys.size(); ++k) (*seqs)[k] = sqlite3_column_int64(*use, 2 + static_cast<int>(k));
  return B_NO_ERROR;
}

int SqliteTable::NewSequence(int64_t* seq) {
  int rc = Ready(nextSeq_, [&] { return NextSequenceSql(); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(nextSeq_);
  rc = sqlite3_step(*use);
  if (rc == SQLITE_DONE) return B_DISK_FULL;  // out of positions
  if (rc != SQLITE_ROW) return Failure(rc, Access::kRecord);
  *seq = sqlite3_column_int64(*use, 0);
  return B_NO_ERROR;
}

int SqliteTable::Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
                        const std::vector<int64_t>& seqs) {
  int status = NoteWrite(pos, false);
  if (status != B_NO_ERROR) return status;
  const int rc = Ready(update_, [&] { return UpdateSql(Dialect(), layout_); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(update_);
  sqlite3_bind_int64(*use, 1, pos);
  sqlite3_bind_blob(*use, 2, data, static_cast<int>(length), SQLITE_STATIC);
  Binder bind{*use, 3};
    BindKeys(bind, layout_, keys, &seqs);
  const int step = sqlite3_step(*use);
  return step == SQLITE_DONE ? B_NO_ERROR : Failure(step, Access::kRecord);
}

int SqliteTable::Delete(int64_t pos, int64_t ver) {
  int status = NoteWrite(pos, false);
  if (status != B_NO_ERROR) return status;
  const int rc = Ready(erase_, [&] { return DeleteSql(Dialect()); });
  if (rc != SQLITE_OK) return Failure(rc, Access::kRecord);
  StatementUse use(erase_);
  sqlite3_bind_int64(*use, 1, pos);
  sqlite3_bind_int64(*use, 2, ver);
  const int step = sqlite3_step(*use);
  if (step != SQLITE_DONE) return Failure(step, Access::kRecord);
  return sqlite3_changes(db_) == 0 ? B_CONFLICT : B_NO_ERROR;
}

int SqliteTable::WriteOwner(const Owner& owner) {
  const OwnerSql& sql = OwnerStatements();
  int rc = sqlite3_exec(db_, sql.make.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && owner.name.empty()) rc = sqlite3_exec(db_, sql.clear.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && !owner.name.empty()) {
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db_, sql.write.c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      BindBytes(stmt, 1, owner.name);
      sqlite3_bind_int(stmt, 2, owner.readWithout ? 1 : 0);
      rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db_);
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_OK && sqlite3_changes(db_) == 0) return B_OWNER_ALREADY_SET;
  }
  return rc == SQLITE_OK ? B_NO_ERROR : Failure(rc, Access::kFile);
}

}  // namespace recman::sqlite
