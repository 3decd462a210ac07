// Ending a transaction that wrote to several SQLite files so that a crash in
// the middle leaves a record that settles it: all of it kept, or none of it.
//
// The first file written is the coordinator; the others are participants.
// Every write to a participant first keeps the record as it was (undo
// table, same SQLite transaction). At End each participant commits with a
// marker naming the coordinator, then the coordinator commits with the
// decision: that commit is the moment the whole transaction happens. Then
// markers, undo images and the decision are removed.
//
// A participant with a marker is settled before anyone writes it again (and
// at Open): the coordinator is asked under its write lock, so that an End
// still running finishes first; decision there, keep; none, put the records
// back. Files name each other by paths relative to their own directory, so
// a database directory can be moved or restored whole.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "recman/format/file_layout.h"

namespace recman::sqlite {

class SqliteTable;

// Commits written (two or more tables of one client, joined, coordinator
// among them, the caller holding every mutex) as one transaction txid.
// Returns 0, or the status of the failure after undoing every part.
int CommitSeveral(int64_t txid, SqliteTable& coordinator, const std::vector<SqliteTable*>& written);

// Settles the markers in the participant at path, whose connection db holds
// its write lock. Returns 0, or 85 when a coordinator could not be asked
// within the lock wait (the caller must not write then), or another status.
int SettleParticipant(sqlite3* db, const FileLayout& layout, const std::string& path);

// At Open of the coordinator at path (db its connection, no transaction
// open): forgets decisions whose participants are settled.
void SettleCoordinator(sqlite3* db, const std::string& path);

}  // namespace recman::sqlite
