// One write on a table, framed as Table::BeginWrite and FinishWrite say:
// the work is kept when it succeeds and undone when it fails.
#pragma once

#include "recman/storage/storage.h"
#include "reclink/btrieve.h"

namespace recman {

// Begins a write on table (access: what a lock conflict concerns), runs
// work() (returns a status), and finishes the write, committing it only when
// work returned 0. Returns the first failure's status, or 0.
template <typename Work>
int InOneWrite(Table& table, Access access, Work&& work) {
  int status = table.BeginWrite(access);
  if (status != B_NO_ERROR) return status;
  status = work();
  const int finished = table.FinishWrite(status == B_NO_ERROR, access);
  return status != B_NO_ERROR ? status : finished;
}

}  // namespace recman
