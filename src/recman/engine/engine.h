// The record manager's state in this process: the clients, the position
// blocks they opened, and the files those blocks hold. The engine's mutex
// guards only these tables and is never held while a file is worked on, so
// that a call on one file never waits for a call on another.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "recman/engine/client.h"
#include "recman/engine/cursor.h"
#include "recman/engine/shared_file.h"

namespace recman {

class Engine {
 public:
  // The one engine of the process.
  static Engine& Instance();

  // The client named key (created on first use).
  std::shared_ptr<Client> ClientFor(const ClientKey& key);
  // The process's own client (the all-zero key), without a look-up.
  const std::shared_ptr<Client>& ProcessClient() const { return process_; }

  // The live cursor of position block `block`, or null when the block is not
  // one that this engine handed out and still honours.
  std::shared_ptr<Cursor> Find(const void* block);

  // Makes block (128 bytes, caller's) the home of cursor.
  void Attach(void* block, std::shared_ptr<Cursor> cursor);

  // Removes cursor from the handle table and stales its block. The caller
  // holds the cursor's table mutex and settles the file's counts.
  void Detach(Cursor& cursor);

  // Every live cursor of client.
  std::vector<std::shared_ptr<Cursor>> CursorsOf(const Client& client);

  // The process's record of file id (made on first use, gone when no block
  // holds it).
  std::shared_ptr<SharedFile> SharedFileFor(const FileId& id);
  // The process's record of file id if some block holds it open, else null.
  std::shared_ptr<SharedFile> FindSharedFile(const FileId& id);

  // Continuous operation: the files frozen for a backup, each by the client
  // that froze it. Frozen says whether id is; AddFreeze records client's
  // freeze of id (88, and the freeze dropped, when id is frozen already);
  // Thaw drops client's freeze of id (88 when it has none); ThawAll drops
  // every freeze of client. Freezes end outside the engine's mutex.
  bool Frozen(const FileId& id);
  int AddFreeze(const FileId& id, const Client& client, std::unique_ptr<FileFreeze> freeze);
  int Thaw(const FileId& id, const Client& client);
  void ThawAll(const Client& client);

  // After fork(): the child drops everything inherited without touching it
  // (connections must not cross a fork).
  void ForgetInherited();

 private:
  Engine();

  // One entry of the handle table.
  struct Slot {
    uint32_t generation = 1;          // bumped whenever the slot is freed
    std::shared_ptr<Cursor> cursor;   // null when free
  };

  std::mutex mu_;                    // guards everything below
  std::vector<Slot> slots_;          // handle table; index = handle
  std::vector<uint32_t> freeSlots_;  // indexes of free slots
  std::map<ClientKey, std::shared_ptr<Client>> clients_;  // by name
  std::map<std::pair<Backend*, std::string>, std::weak_ptr<SharedFile>> files_;  // by file
  // Continuous operation: by file, the freeze and the client that took it.
  std::map<std::pair<Backend*, std::string>, std::pair<const Client*, std::unique_ptr<FileFreeze>>> frozen_;
  uint64_t lastCursorId_ = 0;        // ids handed to cursors
  std::shared_ptr<Client> process_;  // clients_'s entry for the all-zero key
};

}  // namespace recman
