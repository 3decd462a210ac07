// Ending a transaction that wrote to several files so that a crash in the
// middle leaves a record that the next Open settles: all of it kept, or
// none of it.
//
// The first file written is the coordinator; the others are participants.
// Every write to a participant first keeps the record as it was (undo
// table, same SQLite transaction). At End each participant commits with a
// marker naming the coordinator, then the coordinator commits with the
// decision: that commit is the moment the whole transaction happens. Then
// markers, undo images and the decision are removed. A participant found
// with a marker asks the coordinator (under its write lock, so that a live
// End finishes first): decision there, keep; none, put the records back.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "recman/engine.h"

namespace recman {

// Keeps, before a write inside the client's transaction, what undo needs:
// nothing for the coordinator, the record as it is (inserted: that it did
// not exist) for a participant. Returns 0 or a status.
int NoteWrite(Engine& engine, RecordFile& file, int64_t pos, bool inserted);

// Commits written (two or more files joined to txn, coordinator among them)
// as one. Returns 0, or the status of the failure after undoing every part.
int CommitSeveral(Transaction& txn, const std::vector<std::shared_ptr<RecordFile>>& written);

// At Open: settles what transactions over several files left in db (the
// file's own connection) when the process that ended them stopped halfway.
void SettleLeftovers(sqlite3* db, const FileLayout& layout);

}  // namespace recman
