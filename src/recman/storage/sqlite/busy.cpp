#include "recman/storage/sqlite/busy.h"

#include "recman/engine/lock_wait.h"

namespace recman::sqlite {
namespace {

int WaitForLock(void*, int count) { return PauseBeforeRetry(count) ? 1 : 0; }

}  // namespace

void InstallBusyHandler(sqlite3* db) { sqlite3_busy_handler(db, WaitForLock, nullptr); }

}  // namespace recman::sqlite
