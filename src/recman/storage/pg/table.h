// One record file kept on a server, as one client reaches it: the file's
// table through the client's connection, its statements prepared there,
// and the claim that says the client has the file open.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "recman/storage/pg/connection.h"
#include "recman/storage/pg/notices.h"
#include "recman/storage/slots.h"
#include "recman/storage/storage.h"

namespace recman::pg {

class PgSession;

class PgTable final : public Table {
 public:
  // Opens file `file` of database `database` for session, with the shared
  // claim taken. Returns 0 and the table, or 12, 30, 85, 95, 96, 2.
  static int Open(PgSession& session, const std::string& database, const std::string& file,
                  std::unique_ptr<PgTable>* out);
  ~PgTable() override;

  // Table
  const FileLayout& layout() const override { return layout_; }
  uint8_t fileVersion() const override;
  Session& session() override;
  bool writable() const override { return true; }
  void SetDurable(bool full) override { durable_ = full; }
  void EndCall() override;
  int Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq, uint64_t walker,
           Row* row) override;
  int Step(recman::Step step, int64_t from, uint64_t walker, Row* row) override;
  int ReadAt(int64_t pos, int key, Row* row) override;
  // One call reads one state of the file: unless the file is held, its
  // batches come from one read-only snapshot.
  int Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t walker,
           ScanVisitor& visitor) override;
  int CountRecords(uint64_t* n) override;
  int CountValues(size_t key, uint64_t* n) override;
  int CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                  uint64_t* n) override;
  int ReadNth(int key, uint64_t n, Row* row) override;
  int ReadOwner(Owner* owner) override;
  int BeginWrite(Access access) override;
  int FinishWrite(bool commit, Access access) override;
  int HighestValue(size_t key, std::string* value) override;
  int Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) override;
  int ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) override;
  int NewSequence(int64_t* seq) override;
  int Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
             const std::vector<int64_t>& seqs) override;
  int Delete(int64_t pos, int64_t ver) override;
  int WriteOwner(const Owner& owner) override;
  int AddKey(const FileLayout& to) override;
  int DropKey(const FileLayout& to, size_t key) override;
  int Join(bool wait) override;
  bool joined() const override { return joined_; }
  int TryClaim(bool exclusive) override;
  int TryLockRecord(int64_t pos) override;
  void ReleaseRecord(int64_t pos) override;
  bool LockedElsewhere(int64_t pos) override;
  uint64_t lockEpoch() const override { return generation_; }  // locks go with the connection

  // --- for the session, which ends the client's transaction.
  bool durable() const { return durable_; }
  void Unjoin();
  // The statement that announces the transaction's changes to this file
  // on its commit ("" when it changed nothing here).
  std::string NoticeOfChange() const;

 private:
  using Lock = std::unique_lock<std::recursive_mutex>;

  PgTable(PgSession& session, int64_t id) : session_(session), id_(id) {}

  // When rows were fetched: the file's mark by the notices then (0: none)
  // and the time, both taken before the server's snapshot.
  struct Stamp {
    uint64_t mark = 0;
    Notices::Clock::time_point at;
  };

  // Rows fetched ahead for one walker (a position block going along a key
  // or in physical order), handed out one per call while they stay true.
  struct Batch {
    uint64_t walker = 0;      // the block it serves
    size_t path = 0;          // DirectedSlot of the path and direction
    Result rows;              // fetched rows
    int next = 0;             // the next row to hand out
    int64_t limit = 1;        // rows asked for
    uint64_t call = 0;        // the call it was fetched in
    uint64_t generation = 0;  // the connection it was fetched on
    Stamp fetched;            // see Stamp
    std::string atValue;      // key of the row handed out last (key paths)
    int64_t atSeq = 0;        // its place among duplicates, or its position (physical)
  };

  // Takes the session for the caller (into *lock) and makes sure the
  // connection and this table's claim stand. Returns 0 or a status.
  int Enter(Lock* lock);
  // The status of failed r (noting a lost transaction).
  int Failed(const Result& r, Access access);
  // Runs statement slot with params.
  Result Run(size_t slot, const Params& params);
  // The single-row read in slot with one integer parameter, its rows held
  // for the call (held_), with the session taken into *lock. Returns 0 or a
  // status.
  int ReadHeld(Lock* lock, size_t slot, int64_t param);
  // Runs the counting statement in slot (no parameters); *n gets its count.
  int Count(size_t slot, uint64_t* n);
  // Takes the claims again on a new connection.
  int Reclaim();
  // Whether nobody else can write the file now: it is locked for the
  // client's transaction, or opened exclusively.
  bool Held() const { return joined_ || exclusive_; }
  // The file's mark by the notices now; 0 when walks do not read ahead.
  uint64_t ReadAheadMark();
  // Along path `path` from (value, seq): the next row, from a batch when
  // one is still true, else fetched (with more ahead when they can stay
  // true). Returns 0, 9, or a status.
  int Walk(size_t path, size_t slot, const std::string* value, int64_t seq, uint64_t walker, bool keyed,
           Row* row);
  // Inside the client's transaction, before a statement that may fail
  // without ending it: savepoint "w" of the current write.
  int Protect();
  // Statement slots.
  size_t StepSlot(recman::Step step) const { return SeekSlots(layout_.keys.size()) + static_cast<size_t>(step); }
  size_t FixedSlot(int n) const { return SeekSlots(layout_.keys.size()) + kStepCount + n; }
  size_t CountValuesSlot(size_t key) const { return FixedSlot(kFixedSlots) + key; }
  size_t CountOnPathSlot(int key, bool before) const {
    return CountValuesSlot(layout_.keys.size()) + DirectedSlot(PathOf(key, layout_.keys.size()), before);
  }
  size_t NthSlot(int key) const { return CountOnPathSlot(-1, true) + 1 + PathOf(key, layout_.keys.size()); }
  void PrepareStatements(const std::string& prefix);
  // A change of the file's keys: change() runs its statements (returning a
  // status) within one write that also stores to's image; on 0 the table
  // reads by to, with its statements prepared afresh.
  int ChangeKeys(const FileLayout& to, const std::function<int(Connection&)>& change);

  // Slots of the statements after the seeks and steps.
  enum Fixed { kInsert, kUpdate, kDelete, kRow, kRowForUpdate, kNextSequence, kCount, kFixedSlots };

  PgSession& session_;                // the client's session; outlives the table
  const int64_t id_;                  // the file's number in the catalogue
  FileLayout layout_;                 // as the catalogue holds it
  std::vector<Statement> statements_; // by slot
  std::string prefix_;                // of the statement names
  uint64_t generation_ = 0;           // the connection the claims were taken on
  bool durable_ = true;               // commits wait for the server's disk
  bool joined_ = false;               // locked for the client's transaction
  bool exclusive_ = false;            // holds the exclusive claim
  bool ownWrite_ = false;             // BeginWrite began a transaction of its own
  bool changed_ = false;              // written in the client's transaction
  bool listening_ = false;            // the notices listen on the file for this table
  const Stamp* scan_ = nullptr;       // during Scan's snapshot: when it was taken
  Lock writeLock_;                    // the session, held from BeginWrite to FinishWrite
  std::multiset<int64_t> recordLocks_;  // positions this table holds locked
  uint64_t call_ = 1;                 // counts calls (EndCall)
  Result held_;                       // rows of the call's single-row read
  std::vector<Batch> batches_;        // walks with rows fetched ahead
};

}  // namespace recman::pg
