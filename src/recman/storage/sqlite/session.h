// What one client holds of the SQLite files: its connections (one per file,
// the tables), and the end of its transaction across them.
#pragma once

#include <cstdint>
#include <vector>

#include "recman/storage/storage.h"

namespace recman::sqlite {

class SqliteTable;

class SqliteSession final : public Session {
 public:
  int Commit(const std::vector<Table*>& tables) override;
  void Rollback(const std::vector<Table*>& tables) override;
  bool remote() const override { return false; }

  // Before table writes inside the transaction: the id under which it keeps
  // undo images of what it changes, or 0 when it keeps none (the first file
  // written, which decides for all).
  int64_t UndoNeeded(SqliteTable& table);

 private:
  void Reset();

  SqliteTable* coordinator_ = nullptr;  // the first table written in the transaction
  int64_t txid_ = 0;                    // the transaction's id in undo images and markers (0: none yet)
};

}  // namespace recman::sqlite
