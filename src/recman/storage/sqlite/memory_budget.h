// One page-cache budget for every SQLite connection of the process, shared
// out evenly: the files of a database open at once cannot grow the process
// beyond it, however large they are.
#pragma once

#include <cstdint>

namespace recman::sqlite {

// The budget in KiB: BtrSetMemoryBudget's value, else the environment
// variable RECMAN_MEMORY_BUDGET_MB read at first use, else 64 MiB.
uint64_t MemoryBudgetKiB();
void SetMemoryBudgetKiB(uint64_t kib);

// A connection opens or closes: the shares change.
void AddConnectionToBudget();
void RemoveConnectionFromBudget();

// Changes whenever the shares do; a connection whose last share is older
// applies CacheShareKiB() to itself.
uint64_t BudgetGeneration();
// The page cache of one connection now, in KiB.
int64_t CacheShareKiB();

}  // namespace recman::sqlite
