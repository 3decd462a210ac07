// A client of the record manager: the process, for the plain entry points,
// or one of the identities a program gives through the client-id entry
// points. Each client has its own transaction, its own connections to the
// files it opened, and its own Reset.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recman/storage/storage.h"

namespace recman {

struct SharedFile;

// The 16 bytes that name a client; all zero for the process's own.
using ClientKey = std::array<uint8_t, 16>;

class Client {
 public:
  explicit Client(const ClientKey& key) : key_(key) {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  const ClientKey& key() const { return key_; }

  // Taken after the mutex of any table, never before one; guards everything
  // below.
  std::mutex& mutex() { return mu_; }

  // The client's session with backend, made on first use.
  std::shared_ptr<Session> SessionFor(Backend& backend);

  // The client's table of file id, or null.
  std::shared_ptr<Table> FindTable(const FileId& id);
  // A block opens on table (the client's table of id when it has one
  // already: that one is returned). *durable says how the table must commit
  // from now on: fully unless all its blocks are accelerated.
  std::shared_ptr<Table> AddBlock(const FileId& id, std::shared_ptr<Table> table, bool accelerated,
                                  bool* durable);
  // A block of the table of id closes (*durable as above). Returns false
  // when it was the table's last block: the client forgets the table.
  bool RemoveBlock(const FileId& id, bool accelerated, bool* durable);

  // One file the transaction joined.
  struct Joined {
    std::shared_ptr<Table> table;        // the client's table of the file
    std::shared_ptr<SharedFile> shared;  // the process's record of it (its record locks)
    bool operator==(const Joined&) const = default;
  };

  // The transaction: whether Begin was called (read without the mutex on the
  // way to a table, changed only with it), and the files it joined in the
  // order of their first access.
  std::atomic<bool> inTransaction{false};
  std::vector<Joined> joined;
  // The lock bias Begin was given (0: none): what the transaction's Gets,
  // Steps and Get Directs lock with when they ask for no lock themselves.
  std::atomic<uint16_t> defaultLockBias{0};
  // Begin's no-retry bias: the transaction's writes do not wait for a file
  // that another client holds (85 at once).
  std::atomic<bool> noRetry{false};

  // The client's current directory (Set Directory), canonical; empty while
  // it is the process's. Within: a file name of the system's form taken
  // within it when the name is relative.
  std::string Directory();
  void SetDirectory(std::string dir);
  std::string Within(const std::string& name);

 private:
  ClientKey key_;                                            // the client's name
  std::mutex mu_;                                            // see mutex()
  std::map<Backend*, std::shared_ptr<Session>> sessions_;    // by backend
  // One table of the client, and the blocks that hold it open.
  struct OpenTable {
    std::shared_ptr<Table> table;  // the client's connection to the file
    int blocks = 0;                // blocks open on it
    int accelerated = 0;           // of those, opened accelerated
  };
  std::map<std::pair<Backend*, std::string>, OpenTable> tables_;  // by file
  std::string directory_;                                    // Set Directory's; empty: the process's
};

}  // namespace recman
