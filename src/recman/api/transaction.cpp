// The client's transaction (Begin, End, Abort), how calls join it, and the
// holds and key-path checks that calls on an open block share.
#include <algorithm>
#include <thread>

#include "recman/api/call.h"
#include "recman/engine/deadlock.h"

namespace recman {

int OptionalPath(const Call& call, const FileLayout& layout, int* path) {
  *path = layout.keys.empty() ? -1 : call.keyNum;
  return *path < -1 || *path >= static_cast<int>(layout.keys.size()) ? B_INVALID_KEYNUMBER : B_NO_ERROR;
}

int PathKeyFits(const Call& call, const FileLayout& layout, int path) {
  return path < 0 || KeyBufferHolds(call, layout.keys[path].length) ? B_NO_ERROR : B_KEY_BUFFER_TOO_SHORT;
}

BlockCall::BlockCall(Engine& engine, const Call& call) : client_(*call.client) {
  std::shared_ptr<Cursor> cursor = engine.Find(call.block);
  if (!cursor || cursor->client.get() != &client_) return;
  std::unique_lock<std::mutex> lock(cursor->table->mutex());
  // Another thread of the client may have closed the block meanwhile (Reset).
  if (cursor->closed) return;
  cursor_ = std::move(cursor);
  lock_ = std::move(lock);
}

int BlockCall::JoinTransaction(bool write) {
  Table& table = *cursor_->table;
  if (!client_.inTransaction.load(std::memory_order_acquire) || table.joined()) return B_NO_ERROR;
  const bool wait = !(write && client_.noRetry);
  // While it waits for the file, the client waits for the transaction of
  // this process that holds it, if any.
  RecordLocks& locks = cursor_->shared->locks;
  WaitFor waitFor(client_);
  if (wait && waitFor.On(locks.TransactionHolder(), locks, 0) != B_NO_ERROR) return B_DEADLOCK;
  const int status = table.Join(wait);
  if (status != B_NO_ERROR) return status;
  locks.SetTransaction(&client_);
  std::lock_guard<std::mutex> guard(client_.mutex());
  client_.joined.push_back({cursor_->table, cursor_->shared});
  return B_NO_ERROR;
}

bool BlockCall::InTransaction() { return client_.inTransaction.load(std::memory_order_acquire); }

bool BlockCall::Pause(std::chrono::milliseconds pause) {
  cursor_->table->EndCall();
  lock_.unlock();
  std::this_thread::sleep_for(pause);
  lock_.lock();
  return !cursor_->closed;
}

void CloseCursor(Engine& engine, Cursor& cursor) {
  cursor.shared->locks.ReleaseAll(cursor);
  engine.Detach(cursor);
  {
    std::lock_guard<std::mutex> counts(cursor.shared->mu);
    cursor.shared->openCount--;
    if (cursor.exclusive) cursor.shared->exclusiveCount--;
  }
  if (cursor.exclusive) cursor.table->TryClaim(false);
  bool durable = true;
  if (cursor.client->RemoveBlock(cursor.shared->id, cursor.accelerated, &durable)) {
    cursor.table->SetDurable(durable);
  }
}

int OpBegin(Engine&, Call& call) {
  std::lock_guard<std::mutex> guard(call.client->mutex());
  if (call.client->inTransaction) return B_TRANSACTION_IS_ACTIVE;
  call.client->inTransaction = true;
  call.client->joined.clear();
  call.client->defaultLockBias = call.lockBias;
  call.client->noRetry = call.noRetry;
  return B_NO_ERROR;
}

namespace {

// Ends the client's transaction on every table it joined: committed as one
// per session, or undone; the record locks taken inside it go. Every joined
// table's mutex is taken, in one order (their addresses), before the
// client's.
int Finish(Client& client, bool commit) {
  for (;;) {
    std::vector<Client::Joined> files;
    {
      std::lock_guard<std::mutex> guard(client.mutex());
      if (!client.inTransaction) return B_NO_TRANSACTION;
      files = client.joined;
    }
    std::vector<Table*> tables;
    for (const auto& f : files) tables.push_back(f.table.get());
    std::vector<Table*> order = tables;
    std::sort(order.begin(), order.end());
    std::vector<std::unique_lock<std::mutex>> locks;
    for (Table* t : order) locks.emplace_back(t->mutex());
    std::lock_guard<std::mutex> guard(client.mutex());
    if (client.joined != files) continue;  // a call joined meanwhile: take its table too
    int status = B_NO_ERROR;
    // One session at a time, its tables in the order they joined; a server's
    // sessions first, since a server can have lost its part: then what the
    // other sessions did is undone rather than kept.
    std::vector<Session*> sessions;
    for (const bool remote : {true, false}) {
      for (Table* t : tables) {
        Session* s = &t->session();
        if (s->remote() == remote && std::find(sessions.begin(), sessions.end(), s) == sessions.end()) {
          sessions.push_back(s);
        }
      }
    }
    for (Session* session : sessions) {
      std::vector<Table*> group;
      for (Table* t : tables) {
        if (&t->session() == session) group.push_back(t);
      }
      if (commit && status == B_NO_ERROR) {
        status = session->Commit(group);
      } else {
        session->Rollback(group);
      }
    }
    for (const auto& f : files) f.shared->locks.EndTransaction(client);
    for (Table* t : order) t->EndCall();
    client.inTransaction = false;
    client.joined.clear();
    return status;
  }
}

}  // namespace

int OpEnd(Engine&, Call& call) { return Finish(*call.client, true); }

int OpAbort(Engine&, Call& call) {
  const int status = Finish(*call.client, false);
  return status == B_NO_TRANSACTION ? status : B_NO_ERROR;
}

}  // namespace recman
