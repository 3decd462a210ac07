#include "recman/engine/record_locks.h"

#include "recman/engine/cursor.h"
#include "reclink/btrieve.h"

namespace recman {

LockRequest RequestOf(uint16_t lockBias) {
  switch (lockBias) {
    case B_SINGLE_WAIT_LOCK: return {LockKind::kSingle, true};
    case B_SINGLE_NOWAIT_LOCK: return {LockKind::kSingle, false};
    case B_MULTIPLE_WAIT_LOCK: return {LockKind::kMultiple, true};
    case B_MULTIPLE_NOWAIT_LOCK: return {LockKind::kMultiple, false};
    default: return {};
  }
}

int RecordLocks::Lock(Cursor& cursor, int64_t pos, LockKind kind, bool inTransaction,
                      const Client** holder) {
  const Client* ignored = nullptr;
  const Client*& by = holder != nullptr ? *holder : ignored;
  by = nullptr;
  std::lock_guard<std::mutex> guard(mu_);
  if (transaction_ != nullptr && transaction_ != cursor.client.get()) {
    by = transaction_;
    return B_FILE_INUSE;
  }
  // Locks the table lost with a connection are no longer held: forget them,
  // so that asking again takes the lock afresh.
  const uint64_t epoch = cursor.table->lockEpoch();
  DropWhere([&](const Held& h) { return h.table == cursor.table.get() && h.epoch != epoch; });
  bool heldHere = false;  // some block of this client holds the record already
  for (const Held& h : held_) {
    if (h.pos == pos && h.client != cursor.client.get()) {
      by = h.client;
      return B_RECORD_INUSE;
    }
    if (h.cursor == cursor.id && h.kind != kind) return B_INCOMPATIBLE_LOCK_TYPE;
    if (h.cursor == cursor.id && h.pos == pos) return B_NO_ERROR;
    heldHere = heldHere || h.pos == pos;
  }
  if (!heldHere) {
    const int status = cursor.table->TryLockRecord(pos);
    if (status != B_NO_ERROR) return status;
  }
  // A block's new single lock replaces its old one.
  if (kind == LockKind::kSingle) {
    DropWhere([&](const Held& h) { return h.cursor == cursor.id; });
  }
  held_.push_back(Held{pos, cursor.id, cursor.client.get(), cursor.table.get(), kind, inTransaction, epoch});
  return B_NO_ERROR;
}

bool RecordLocks::HeldAgainst(const Cursor& writer, int64_t pos) {
  {
    std::lock_guard<std::mutex> guard(mu_);
    for (const Held& h : held_) {
      if (h.pos == pos && h.client != writer.client.get()) return true;
    }
  }
  return writer.table->LockedElsewhere(pos);
}

int RecordLocks::Unlock(const Cursor& cursor, LockKind kind, int64_t pos) {
  std::lock_guard<std::mutex> guard(mu_);
  const int released = DropWhere([&](const Held& h) {
    return h.cursor == cursor.id && h.kind == kind && (pos == 0 || h.pos == pos);
  });
  return released > 0 ? B_NO_ERROR : B_LOCK_ERROR;
}

void RecordLocks::ReleaseAfterWrite(const Cursor& cursor, int64_t pos, bool deleted) {
  std::lock_guard<std::mutex> guard(mu_);
  DropWhere([&](const Held& h) {
    return h.cursor == cursor.id && h.pos == pos && (deleted || h.kind == LockKind::kSingle);
  });
}

void RecordLocks::ReleaseAll(const Cursor& cursor) {
  std::lock_guard<std::mutex> guard(mu_);
  DropWhere([&](const Held& h) { return h.cursor == cursor.id; });
}

void RecordLocks::SetTransaction(const Client* holder) {
  std::lock_guard<std::mutex> guard(mu_);
  transaction_ = holder;
}

const Client* RecordLocks::TransactionHolder() {
  std::lock_guard<std::mutex> guard(mu_);
  return transaction_;
}

bool RecordLocks::Holds(const Client* client, int64_t pos) {
  std::lock_guard<std::mutex> guard(mu_);
  if (pos == 0) return transaction_ == client;
  for (const Held& h : held_) {
    if (h.pos == pos && h.client == client) return true;
  }
  return false;
}

void RecordLocks::EndTransaction(const Client& client) {
  std::lock_guard<std::mutex> guard(mu_);
  if (transaction_ == &client) transaction_ = nullptr;
  DropWhere([&](const Held& h) { return h.client == &client && h.inTransaction; });
}

template <typename Pred>
int RecordLocks::DropWhere(Pred goes) {
  int dropped = 0;
  for (size_t i = held_.size(); i > 0; --i) {
    if (!goes(held_[i - 1])) continue;
    Drop(i - 1);
    ++dropped;
  }
  return dropped;
}

void RecordLocks::Drop(size_t i) {
  const Held gone = held_[i];
  held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
  for (const Held& h : held_) {
    if (h.pos == gone.pos) return;
  }
  gone.table->ReleaseRecord(gone.pos);
}

}  // namespace recman
