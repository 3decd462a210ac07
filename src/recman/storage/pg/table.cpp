#include "recman/storage/pg/table.h"

#include <algorithm>

#include "recman/storage/pg/schema.h"
#include "recman/storage/pg/session.h"
#include "recman/format/stored_layout.h"
#include "recman/storage/key_fill.h"
#include "recman/storage/one_write.h"
#include "recman/storage/row_io.h"
#include "reclink/btrieve.h"

namespace recman::pg {
namespace {

// Walks keep at most this many batches, and fetch at most this many rows
// at a time; a walk on a held file starts with kFirstHeldBatch.
constexpr size_t kMaxBatches = 8;
constexpr int64_t kMaxBatch = 256;
constexpr int64_t kFirstHeldBatch = 8;

// The claim of an open file, shared and exclusive, and its release.
const std::string kSpace = std::to_string(kLockSpace);
const std::string kClaimShared = "SELECT pg_try_advisory_lock_shared(" + kSpace + ", $1::int8::int4)";
const std::string kClaimExclusive = "SELECT pg_try_advisory_lock(" + kSpace + ", $1::int8::int4)";
const std::string kDropExclusive = "SELECT pg_advisory_unlock(" + kSpace + ", $1::int8::int4)";
// Record locks: one key per record, the file's number above its position.
// Taking one gives null when another session's transaction holds the file
// (its mark is there), else whether the record's lock was had.
const std::string kLockRecord = "SELECT CASE WHEN pg_try_advisory_lock_shared(" +
                                std::to_string(kTransactionSpace) + ", $2::int8::int4) THEN pg_advisory_unlock_shared(" +
                                std::to_string(kTransactionSpace) +
                                ", $2::int8::int4) AND pg_try_advisory_lock($1::int8) END";
constexpr const char* kReleaseRecord = "SELECT pg_advisory_unlock($1::int8)";
constexpr const char* kRecordLockedElsewhere =
    "SELECT CASE WHEN pg_try_advisory_lock($1::int8) THEN NOT pg_advisory_unlock($1::int8) ELSE true END";

int64_t RecordKey(int64_t id, int64_t pos) { return (id << 32) | (pos & 0xffffffff); }

// Row r of res, as FillRow reads its columns.
struct ResultRow {
  const Result& res;
  int r;
  int64_t Int(int c) const { return res.int8(r, c); }
  const uint8_t* Bytes(int c) const { return res.bytes(r, c); }
  uint32_t Length(int c) const { return res.length(r, c); }
};

void FillRow(const Result& res, int r, bool keyed, Row* row) { recman::FillRow(ResultRow{res, r}, keyed, row); }

}  // namespace

int PgTable::Open(PgSession& session, const std::string& database, const std::string& file,
                  std::unique_ptr<PgTable>* out) {
  Lock lock(session.mutex());
  int status = session.Connect();
  if (status != B_NO_ERROR) return status;
  Connection& c = session.conn();
  Params name;
  name.Bytes(database).Bytes(file);
  Result found = c.Query(FindFileSql(), name);
  if (!found.ok()) {
    const int failed = session.Failed(found, Access::kOpen);
    return NoCatalogueYet(found.sqlstate()) ? B_FILE_NOT_FOUND : failed;
  }
  if (found.rows() == 0) return B_FILE_NOT_FOUND;
  std::unique_ptr<PgTable> table(new PgTable(session, found.int8(0, 0)));
  Params id;
  id.Int(table->id_);
  Result claim = c.Query(kClaimShared, id);
  if (!claim.ok()) return session.Failed(claim, Access::kOpen);
  if (!claim.boolean(0, 0)) return B_FILE_INUSE;  // held exclusively: an exclusive open, a replacing Create
  table->generation_ = session.generation();       // from here on the table lets go of the claim
  // Read again under the claim: a Create that replaced the file before it
  // was taken changed the layout.
  found = c.Query(FindFileSql(), name);
  if (!found.ok()) return session.Failed(found, Access::kOpen);
  if (found.rows() == 0 || found.int8(0, 0) != table->id_) return B_FILE_NOT_FOUND;
  if (!ReadStoredLayout(found.int8(0, 1), kFormatVersion, found.blob(0, 2), &table->layout_)) {
    return B_NOT_A_BTRIEVE_FILE;
  }
  table->PrepareStatements(session.NewStatementPrefix());
  if (session.readAhead()) {
    session.notices().Listen(table->id_);
    table->listening_ = true;
  }
  *out = std::move(table);
  return B_NO_ERROR;
}

PgTable::~PgTable() {
  Lock lock(session_.mutex());
  if (listening_) session_.notices().Forget(id_);
  Connection& c = session_.conn();
  if (generation_ == 0 || generation_ != session_.generation() || c.broken()) return;
  // Session-level locks are the connection's until released, whatever
  // its transactions do.
  std::string sql = "SELECT pg_advisory_unlock_shared(" + kSpace + ", " + std::to_string(id_) + ")";
  if (exclusive_) sql += "; SELECT pg_advisory_unlock(" + kSpace + ", " + std::to_string(id_) + ")";
  for (int64_t pos : recordLocks_) sql += "; SELECT pg_advisory_unlock(" + std::to_string(RecordKey(id_, pos)) + ")";
  // A transaction that the server refuses to go on with takes no statement
  // until it ends: then.
  if (PQtransactionStatus(c.get()) == PQTRANS_INERROR) {
    session_.Owe(sql);
  } else {
    c.Exec(sql);
  }
  if (!prefix_.empty()) c.Deallocate(prefix_);
}

void PgTable::PrepareStatements(const std::string& prefix) {
  prefix_ = prefix;
  const SqlDialect d = Dialect(id_);
  const size_t keys = layout_.keys.size();
  statements_.resize(NthSlot(-1) + 1);
  for (size_t k = 0; k < keys; ++k) {
    for (int s = 0; s < kSeekCount; ++s) {
      statements_[SeekSlot(k, static_cast<recman::Seek>(s))].sql = SeekSql(d, layout_, k, static_cast<recman::Seek>(s));
    }
    statements_[CountValuesSlot(k)].sql = CountValuesSql(d, k);
  }
  for (int key = -1; key < static_cast<int>(keys); ++key) {
    for (bool before : {false, true}) {
      statements_[CountOnPathSlot(key, before)].sql = CountOnPathSql(d, layout_, key, before);
    }
    statements_[NthSlot(key)].sql = NthSql(d, layout_, key);
  }
  for (int s = 0; s < kStepCount; ++s) {
    statements_[StepSlot(static_cast<recman::Step>(s))].sql = StepSql(d, static_cast<recman::Step>(s));
  }
  statements_[FixedSlot(kInsert)].sql = InsertSql(id_, layout_);
  statements_[FixedSlot(kUpdate)].sql = UpdateSql(d, layout_);
  statements_[FixedSlot(kDelete)].sql = DeleteSql(d);
  statements_[FixedSlot(kRow)].sql = RowSql(d, layout_, false);
  statements_[FixedSlot(kRowForUpdate)].sql = RowSql(d, layout_, true);
  statements_[FixedSlot(kNextSequence)].sql = NextSequenceSql(id_);
  statements_[FixedSlot(kCount)].sql = CountSql(d);
  for (size_t i = 0; i < statements_.size(); ++i) statements_[i].name = prefix_ + std::to_string(i);
}

uint8_t PgTable::fileVersion() const { return kFormatVersion; }

Session& PgTable::session() { return session_; }

int PgTable::Enter(Lock* lock) {
  *lock = Lock(session_.mutex());
  // A transaction the server lost stays lost for its files until End or Abort.
  if (joined_ && session_.lost() != B_NO_ERROR) return session_.lost();
  int status = session_.Connect();
  if (status == B_NO_ERROR && generation_ != session_.generation()) status = Reclaim();
  return status;
}

int PgTable::Reclaim() {
  // A new connection: the old one's claims, record locks and rows are gone.
  batches_.clear();
  recordLocks_.clear();
  held_ = Result();
  Connection& c = session_.conn();
  Params id;
  id.Int(id_);
  Result r = c.Query(kClaimShared, id);
  if (!r.ok()) return Failed(r, Access::kFile);
  if (!r.boolean(0, 0)) return B_FILE_INUSE;
  if (exclusive_) {
    r = c.Query(kClaimExclusive, id);
    if (!r.ok() || !r.boolean(0, 0)) {
      const int status = r.ok() ? B_FILE_INUSE : Failed(r, Access::kFile);
      c.Exec("SELECT pg_advisory_unlock_shared(" + kSpace + ", " + std::to_string(id_) + ")");
      return status;
    }
  }
  generation_ = session_.generation();
  return B_NO_ERROR;
}

int PgTable::Failed(const Result& r, Access access) { return session_.Failed(r, access); }

Result PgTable::Run(size_t slot, const Params& params) { return session_.conn().Run(statements_[slot], params); }

void PgTable::EndCall() {
  held_ = Result();
  ++call_;
}

// --- reads -----------------------------------------------------------------------

int PgTable::Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq, uint64_t walker,
                  Row* row) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  if (seek == Seek::kNext || seek == Seek::kPrevious) {
    return Walk(DirectedSlot(key, seek == Seek::kPrevious), SeekSlot(key, seek), &value, seq, walker, true, row);
  }
  Params p;
  if (seek != Seek::kFirst && seek != Seek::kLast) p.Bytes(value);
  held_ = Run(SeekSlot(key, seek), p);
  if (!held_.ok()) return Failed(held_, Access::kFile);
  if (held_.rows() == 0) return seek == Seek::kEqual ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE;
  FillRow(held_, 0, true, row);
  return B_NO_ERROR;
}

int PgTable::Step(recman::Step step, int64_t from, uint64_t walker, Row* row) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  if (step == recman::Step::kNext || step == recman::Step::kPrevious) {
    const size_t path = DirectedSlot(layout_.keys.size(), step == recman::Step::kPrevious);
    return Walk(path, StepSlot(step), nullptr, from, walker, false, row);
  }
  held_ = Run(StepSlot(step), Params());
  if (!held_.ok()) return Failed(held_, Access::kFile);
  if (held_.rows() == 0) return B_END_OF_FILE;
  FillRow(held_, 0, false, row);
  return B_NO_ERROR;
}

uint64_t PgTable::ReadAheadMark() { return listening_ ? session_.notices().Mark(id_) : 0; }

int PgTable::Walk(size_t path, size_t slot, const std::string* value, int64_t seq, uint64_t walker, bool keyed,
                  Row* row) {
  // Rows fetched ahead are handed out only while no commit of anyone else
  // can have come between: within the call that fetched them, while the
  // file is held, or while the notices tell of no commit to the file since
  // they were fetched and they are younger than kReadAheadAge. Anywhere
  // else each call asks the server afresh.
  auto it = std::find_if(batches_.begin(), batches_.end(),
                         [&](const Batch& b) { return walker != 0 && b.walker == walker && b.path == path; });
  Batch* b = it == batches_.end() ? nullptr : &*it;
  const bool sameWalk = b != nullptr && b->generation == session_.generation() && b->atSeq == seq &&
                        (!keyed || b->atValue == *value);
  // Taken only when rows of an earlier call are weighed, or a walk fetches
  // (a mark costs a system call).
  Stamp now;
  auto stamp = [&]() -> const Stamp& {
    if (now.at == Notices::Clock::time_point{}) now = {ReadAheadMark(), Notices::Clock::now()};
    return now;
  };
  const bool continuing =
      sameWalk && (b->call == call_ || Held() ||
                   (stamp().mark != 0 && b->fetched.mark == now.mark && now.at - b->fetched.at < kReadAheadAge));
  if (!continuing || b->next >= b->rows.rows()) {
    // A batch grows while it is used up; a walk that goes on in a later
    // call asks for as many as it took in the last.
    int64_t limit = 1;
    if (continuing) {
      limit = std::min(b->limit * 2, kMaxBatch);
    } else if (sameWalk) {
      limit = b->limit;
    } else if (walker != 0 && (Held() || listening_)) {
      limit = kFirstHeldBatch;
    }
    Params p;
    if (keyed) {
      p.Bytes(*value);
      if (layout_.keys[path / 2].duplicates) p.Int(seq);
    } else {
      p.Int(seq);
    }
    p.Int(limit);
    // Stamped before the server takes its snapshot; a scan's rows are as
    // old as the scan's snapshot.
    const Stamp fetched = scan_ != nullptr ? *scan_ : walker != 0 ? stamp() : Stamp{};
    Result r = Run(slot, p);
    if (!r.ok() || r.rows() == 0) {
      if (b != nullptr) batches_.erase(it);
      return r.ok() ? B_END_OF_FILE : Failed(r, Access::kFile);
    }
    if (b == nullptr) {
      if (batches_.size() >= kMaxBatches) batches_.erase(batches_.begin());
      b = &batches_.emplace_back();
      b->walker = walker;
      b->path = path;
    }
    b->rows = std::move(r);
    b->next = 0;
    b->limit = limit;
    b->call = call_;
    b->generation = session_.generation();
    b->fetched = fetched;
  }
  FillRow(b->rows, b->next++, keyed, row);
  if (keyed) b->atValue.assign(reinterpret_cast<const char*>(row->key), row->keyLength);
  b->atSeq = keyed ? row->seq : row->pos;
  if (walker == 0) {
    // Nobody walks on: the rows live as long as the call.
    held_ = std::move(b->rows);
    batches_.erase(batches_.begin() + (b - batches_.data()));
  }
  return B_NO_ERROR;
}

int PgTable::ReadHeld(Lock* lock, size_t slot, int64_t param) {
  const int status = Enter(lock);
  if (status != B_NO_ERROR) return status;
  Params p;
  p.Int(param);
  held_ = Run(slot, p);
  return held_.ok() ? B_NO_ERROR : Failed(held_, Access::kFile);
}

int PgTable::ReadAt(int64_t pos, int key, Row* row) {
  Lock lock;
  const int status = ReadHeld(&lock, FixedSlot(kRow), pos);
  if (status != B_NO_ERROR) return status;
  if (held_.rows() == 0) return B_BAD_RECORD_ADDRESS;
  FillRowAt(ResultRow{held_, 0}, pos, key, row);
  return B_NO_ERROR;
}

int PgTable::CountRecords(uint64_t* n) { return Count(FixedSlot(kCount), n); }

int PgTable::CountValues(size_t key, uint64_t* n) { return Count(CountValuesSlot(key), n); }

int PgTable::Count(size_t slot, uint64_t* n) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  Result r = Run(slot, Params());
  if (!r.ok()) return Failed(r, Access::kFile);
  *n = static_cast<uint64_t>(r.int8(0, 0));
  return B_NO_ERROR;
}

int PgTable::CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                         uint64_t* n) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  Params p;
  if (before && key < 0) {
    p.Int(pos);
  } else if (before) {
    p.Bytes(value);
    if (layout_.keys[key].duplicates) p.Int(seq);
  }
  Result r = Run(CountOnPathSlot(key, before), p);
  if (!r.ok()) return Failed(r, Access::kFile);
  *n = static_cast<uint64_t>(r.int8(0, 0));
  return B_NO_ERROR;
}

int PgTable::ReadNth(int key, uint64_t n, Row* row) {
  Lock lock;
  const int status = ReadHeld(&lock, NthSlot(key), static_cast<int64_t>(n));
  if (status != B_NO_ERROR) return status;
  if (held_.rows() == 0) return B_END_OF_FILE;
  FillRow(held_, 0, key >= 0, row);
  return B_NO_ERROR;
}

int PgTable::ReadOwner(Owner* owner) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  *owner = Owner();
  Connection& c = session_.conn();
  Result r = c.Query(OwnerStatements().exists, Params());
  if (!r.ok()) return Failed(r, Access::kFile);
  if (!r.boolean(0, 0)) return B_NO_ERROR;
  Params id;
  id.Int(id_);
  r = c.Query(OwnerStatements().read, id);
  if (!r.ok()) return Failed(r, Access::kFile);
  if (r.rows() > 0) {
    owner->name = r.blob(0, 0);
    owner->readWithout = r.boolean(0, 1);
  }
  return B_NO_ERROR;
}

int PgTable::Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t walker,
                  ScanVisitor& visitor) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  Connection& c = session_.conn();
  // A held file has no other writer; anywhere else the batches of this call
  // share one snapshot, so that a record another client moves meanwhile is
  // neither met twice nor missed.
  const bool snapshot = !Held() && !session_.inTransaction();
  const Stamp taken{snapshot && walker != 0 ? ReadAheadMark() : 0, Notices::Clock::now()};
  if (snapshot) {
    const Result r = c.Exec("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    if (!r.ok()) return Failed(r, Access::kFile);
    scan_ = &taken;
  }
  const bool keyed = key >= 0;
  const recman::Step step = forward ? recman::Step::kNext : recman::Step::kPrevious;
  const recman::Seek seek = forward ? recman::Seek::kNext : recman::Seek::kPrevious;
  const size_t path = DirectedSlot(PathOf(key, layout_.keys.size()), !forward);
  const size_t slot = keyed ? SeekSlot(static_cast<size_t>(key), seek) : StepSlot(step);
  for (Row row;;) {
    status = Walk(path, slot, keyed ? &value : nullptr, keyed ? seq : from, walker, keyed, &row);
    if (status != B_NO_ERROR) break;
    from = row.pos;
    if (keyed) value.assign(reinterpret_cast<const char*>(row.key), row.keyLength), seq = row.seq;
    if (!visitor.Visit(row)) break;
  }
  scan_ = nullptr;
  if (snapshot && !c.broken()) c.Exec("COMMIT");  // read only: ends the snapshot
  return status;
}

// --- writes: between BeginWrite and FinishWrite the session is this
// table's, and a broken connection fails the write rather than being
// replaced under it. -------------------------------------------------------------

int PgTable::BeginWrite(Access access) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  batches_.clear();
  held_ = Result();
  changed_ = changed_ || joined_;
  if (!joined_) {
    Result r = session_.conn().Exec(durable_ ? "BEGIN" : "BEGIN; SET LOCAL synchronous_commit = off");
    if (!r.ok()) return Failed(r, access);
    ownWrite_ = true;
  }
  session_.savepoint = false;
  writeLock_ = std::move(lock);
  return B_NO_ERROR;
}

int PgTable::FinishWrite(bool commit, Access access) {
  const Lock lock = std::move(writeLock_);  // the session is free again on return
  Connection& c = session_.conn();
  if (ownWrite_) {
    ownWrite_ = false;
    if (!commit) {
      if (!c.broken()) c.Exec("ROLLBACK");
      return B_NO_ERROR;
    }
    // The notice leaves once the write has committed; a write the server
    // refuses to go on with announces nothing.
    const bool going = !c.broken() && PQtransactionStatus(c.get()) == PQTRANS_INTRANS;
    Result r = c.Exec((going ? "NOTIFY " + NoticeChannel(id_) + "; " : std::string()) + "COMMIT");
    Notices::NoteCommit();
    if (r.ok()) return r.command() == "COMMIT" ? B_NO_ERROR : B_IO_ERROR;
    const int status = c.StatusOf(r, access);
    if (!c.broken()) c.Exec("ROLLBACK");
    return status;
  }
  if (!session_.savepoint) return B_NO_ERROR;
  session_.savepoint = false;
  Result r = c.Exec(commit ? "RELEASE SAVEPOINT w" : "ROLLBACK TO SAVEPOINT w; RELEASE SAVEPOINT w");
  return r.ok() ? B_NO_ERROR : Failed(r, access);
}

int PgTable::Protect() {
  if (!joined_ || session_.savepoint) return B_NO_ERROR;
  Result r = session_.conn().Exec("SAVEPOINT w");
  if (!r.ok()) return Failed(r, Access::kRecord);
  session_.savepoint = true;
  return B_NO_ERROR;
}

int PgTable::HighestValue(size_t key, std::string* value) {
  // Outside the client's transaction other writers wait until this write
  // has stored the value it chooses.
  if (!joined_) {
    Result locked = session_.conn().Exec(LockWritersSql(id_));
    if (!locked.ok()) return Failed(locked, Access::kFile);
  }
  Result r = Run(SeekSlot(key, Seek::kLast), Params());
  if (!r.ok()) return Failed(r, Access::kFile);
  value->clear();
  if (r.rows() > 0) *value = r.blob(0, 3);
  return B_NO_ERROR;
}

int PgTable::Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) {
  Params p;
  p.Bytes(data, length);
  BindKeys(p, layout_, keys, nullptr);
  Result r = Run(FixedSlot(kInsert), p);
  if (!r.ok()) return Failed(r, Access::kFile);
  if (r.rows() == 0) return B_DUPLICATE_KEY_VALUE;  // a unique key's value is taken
  *pos = r.int8(0, 0);
  return B_NO_ERROR;
}

int PgTable::ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) {
  Params p;
  p.Int(pos);
  Result r = Run(FixedSlot(kRowForUpdate), p);
  if (!r.ok()) return Failed(r, Access::kRecord);
  if (r.rows() == 0) return B_CONFLICT;  // deleted by someone since it was read
  *ver = r.int8(0, 0);
  *data = r.blob(0, 1);
  seqs->resize(layout_.keys.size());
  for (size_t k = 0; k < layout_.keys.size(); ++k) (*seqs)[k] = r.int8(0, 2 + static_cast<int>(k));
  return B_NO_ERROR;
}

int PgTable::NewSequence(int64_t* seq) {
  int status = Protect();
  if (status != B_NO_ERROR) return status;
  Result r = Run(FixedSlot(kNextSequence), Params());
  if (!r.ok()) return Failed(r, Access::kRecord);
  *seq = r.int8(0, 0);
  return B_NO_ERROR;
}

int PgTable::Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
                    const std::vector<int64_t>& seqs) {
  int status = Protect();
  if (status != B_NO_ERROR) return status;
  Params p;
  p.Int(pos).Bytes(data, length);
  BindKeys(p, layout_, keys, &seqs);
  Result r = Run(FixedSlot(kUpdate), p);
  return r.ok() ? B_NO_ERROR : Failed(r, Access::kRecord);
}

int PgTable::Delete(int64_t pos, int64_t ver) {
  Params p;
  p.Int(pos).Int(ver);
  Result r = Run(FixedSlot(kDelete), p);
  if (!r.ok()) return Failed(r, Access::kRecord);
  return r.affected() == 0 ? B_CONFLICT : B_NO_ERROR;
}

int PgTable::WriteOwner(const Owner& owner) {
  Connection& c = session_.conn();
  Result r = c.Exec(OwnerStatements().make);
  Params id;
  id.Int(id_);
  if (r.ok() && owner.name.empty()) r = c.Query(OwnerStatements().clear, id);
  if (r.ok() && !owner.name.empty()) {
    Params row;
    row.Int(id_).Bytes(owner.name).Int(owner.readWithout ? 1 : 0);
    r = c.Query(OwnerStatements().write, row);
    if (r.ok() && r.affected() == 0) return B_OWNER_ALREADY_SET;
  }
  return r.ok() ? B_NO_ERROR : Failed(r, Access::kFile);
}

// --- the keys ----------------------------------------------------------------------

int PgTable::ChangeKeys(const FileLayout& to, const std::function<int(Connection&)>& change) {
  Connection& c = session_.conn();
  const int status = InOneWrite(*this, Access::kFile, [&] {
    int changed = change(c);
    if (changed != B_NO_ERROR) return changed;
    Params row;
    row.Int(id_).Int(kFormatVersion).Bytes(to.image);
    const Result r = c.Query(ReplaceLayoutSql(), row);
    return r.ok() ? B_NO_ERROR : Failed(r, Access::kFile);
  });
  if (status != B_NO_ERROR) return status;
  // The statements of the old keys go; those of the new ones are prepared
  // afresh under names of their own.
  Lock lock(session_.mutex());
  batches_.clear();
  held_ = Result();
  if (!c.broken()) c.Deallocate(prefix_);
  layout_ = to;
  PrepareStatements(session_.NewStatementPrefix());
  return B_NO_ERROR;
}

int PgTable::AddKey(const FileLayout& to) {
  return ChangeKeys(to, [&](Connection& c) {
    const SqlDialect d = Dialect(id_);
    Result r;
    for (const std::string& sql : AddKeyColumnsSql(d, to)) {
      if (!(r = c.Exec(sql)).ok()) return Failed(r, Access::kFile);
    }
    const int status = FillNewKey(
        to,
        [&](int64_t after, int64_t limit, auto&& take) -> int {
          Params range;
          range.Int(after).Int(limit);
          const Result rows = c.Query(KeyValuesSql(d), range);
          if (!rows.ok()) return Failed(rows, Access::kFile);
          for (int i = 0; i < rows.rows(); ++i) {
            if (!take(rows.int8(i, 0), rows.bytes(i, 1), rows.length(i, 1))) break;
          }
          return B_NO_ERROR;
        },
        [&](const std::vector<PositionedKey>& batch) -> int {
          const Result set = c.Exec(SetKeyValuesSql(id_, to, batch));
          return set.ok() ? B_NO_ERROR : Failed(set, Access::kFile);
        });
    if (status != B_NO_ERROR) return status;
    r = c.Exec(IndexSql(d, to, to.keys.size() - 1));
    return r.ok() ? static_cast<int>(B_NO_ERROR) : Failed(r, Access::kFile);
  });
}

int PgTable::DropKey(const FileLayout& to, size_t key) {
  return ChangeKeys(to, [&](Connection& c) {
    for (const std::string& sql : DropKeyColumnsSql(Dialect(id_), layout_, key)) {
      const Result r = c.Exec(sql);
      if (!r.ok()) return Failed(r, Access::kFile);
    }
    return static_cast<int>(B_NO_ERROR);
  });
}

// --- the client's transaction -----------------------------------------------------

int PgTable::Join(bool wait) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR || joined_) return status;
  batches_.clear();
  held_ = Result();
  Connection& c = session_.conn();
  // The first file begins the server's transaction. The lock waits as the
  // engine's lock wait says (or not at all); a wait that ends without it
  // leaves the transaction as it was.
  const bool begins = !session_.inTransaction();
  // Holding the file, the transaction marks it for other sessions' lock
  // requests; the mark goes with the transaction.
  Result r = c.Exec(std::string(begins ? "BEGIN; " : "") + "SAVEPOINT j; " + LockExclusiveSql(id_) +
                    (wait ? "" : " NOWAIT") + "; SELECT pg_advisory_xact_lock(" + std::to_string(kTransactionSpace) +
                    ", " + std::to_string(id_) + "); RELEASE SAVEPOINT j");
  if (begins && PQtransactionStatus(c.get()) != PQTRANS_IDLE) session_.Began();
  if (r.ok()) {
    joined_ = true;
    return B_NO_ERROR;
  }
  if (c.broken()) return Failed(r, Access::kFile);
  status = c.StatusOf(r, Access::kFile);
  c.Exec(begins ? "ROLLBACK" : "ROLLBACK TO SAVEPOINT j; RELEASE SAVEPOINT j");
  if (begins) session_.Ended();
  return status;
}

void PgTable::Unjoin() {
  joined_ = false;
  changed_ = false;
  batches_.clear();
}

std::string PgTable::NoticeOfChange() const { return changed_ ? "NOTIFY " + NoticeChannel(id_) + "; " : ""; }

// --- claims and record locks ---------------------------------------------------------

int PgTable::TryClaim(bool exclusive) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  Params id;
  id.Int(id_);
  batches_.clear();
  if (!exclusive) {
    if (exclusive_) session_.conn().Query(kDropExclusive, id);
    exclusive_ = false;
    return B_NO_ERROR;
  }
  Result r = session_.conn().Query(kClaimExclusive, id);
  if (!r.ok()) return Failed(r, Access::kFile);
  if (!r.boolean(0, 0)) return B_INCOMPATIBLE_MODE;  // others have it open
  exclusive_ = true;
  return B_NO_ERROR;
}

int PgTable::TryLockRecord(int64_t pos) {
  Lock lock;
  int status = Enter(&lock);
  if (status != B_NO_ERROR) return status;
  Params key;
  key.Int(RecordKey(id_, pos)).Int(id_);
  Result r = session_.conn().Query(kLockRecord, key);
  if (!r.ok()) return Failed(r, Access::kRecord);
  if (r.null(0, 0)) return B_FILE_INUSE;
  if (!r.boolean(0, 0)) return B_RECORD_INUSE;
  recordLocks_.insert(pos);
  return B_NO_ERROR;
}

void PgTable::ReleaseRecord(int64_t pos) {
  Lock lock;
  if (Enter(&lock) != B_NO_ERROR) return;
  auto it = recordLocks_.find(pos);
  if (it == recordLocks_.end()) return;
  recordLocks_.erase(it);
  Params key;
  key.Int(RecordKey(id_, pos));
  session_.conn().Query(kReleaseRecord, key);
}

bool PgTable::LockedElsewhere(int64_t pos) {
  Lock lock;
  if (Enter(&lock) != B_NO_ERROR) return false;
  Params key;
  key.Int(RecordKey(id_, pos));
  Result r = session_.conn().Query(kRecordLockedElsewhere, key);
  return r.ok() && r.boolean(0, 0);
}

}  // namespace recman::pg
