// Operations on files as wholes: Open, Close, Create, Stat, the client-wide
// Version, Reset and current directory, Unlock, Continuous Operation, the
// owner, and Create and Drop Index.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "recman/api/call.h"
#include "recman/storage/locate.h"
#include "recman/os/os.h"
#include "recman/api/path.h"
#include "recman/storage/one_write.h"
#include "recman/storage/placeholder.h"
#include "recman/format/stat_image.h"

namespace recman {
namespace {

// What Version reports: this engine's own numbering.
constexpr uint16_t kEngineVersion = 1;
constexpr uint16_t kEngineRevision = 0;

// Continuous Operation's key numbers.
constexpr int8_t kContinuousBegin = 0;    // freeze the files named
constexpr int8_t kContinuousEndAll = 1;   // thaw every file the client froze
constexpr int8_t kContinuousEnd = 2;      // thaw the files named

// The files that Continuous Operation's data buffer names: paths separated
// by commas, up to a zero byte or the data length. Returns 0, 22 without a
// buffer, or the status why a name names no file (11, 12, 46).
int NamedFiles(const Call& call, std::vector<FileId>* ids) {
  Client& client = *call.client;
  if (call.data == nullptr || call.dataLen == nullptr || *call.dataLen == 0) return B_DATALENGTH_ERROR;
  const std::string list = TextIn(call.data, *call.dataLen);
  for (size_t at = 0;;) {
    const size_t comma = list.find(',', at);
    const std::string name = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    FileId id;
    const std::string file = client.Within(NameFromKeyBuffer(name.data(), static_cast<unsigned>(name.size())));
    const int status = Locate(file, false, &id);
    if (status != B_NO_ERROR) return status;
    ids->push_back(std::move(id));
    if (comma == std::string::npos) return B_NO_ERROR;
    at = comma + 1;
  }
}

// Set Owner's key numbers: who needs the owner's name.
constexpr int8_t kOwnerForAll = 0;     // every Open
constexpr int8_t kOwnerForWrites = 1;  // an Open for writing; reading needs none
// The longest owner name.
constexpr size_t kOwnerNameMax = 8;

// What a change of the file itself (its owner, its keys) needs of the
// block's call: an open block, no transaction of the client's (41), and a
// block that may write (46).
int MayChangeFile(BlockCall& bc) {
  if (bc.status() != B_NO_ERROR) return bc.status();
  if (bc.InTransaction()) return B_CLOSE_IN_TRANSACTION;
  return bc.MayWrite() ? B_NO_ERROR : B_ACCESS_DENIED;
}

// Gives table's file owner (an empty name: none) as one write of its own.
int WriteOwner(Table& table, const Owner& owner) {
  return InOneWrite(table, Access::kFile, [&] { return table.WriteOwner(owner); });
}

// Runs change() on a block's file with the file to itself: a change of its
// keys changes what every block open on it reads by. Any other block of the
// process (of any client) or of another process gives 88, as an exclusive
// open would; for as long as the change takes, an Open elsewhere gives 85.
int WithFileToItself(BlockCall& bc, const std::function<int()>& change) {
  Cursor& cursor = bc.cursor();
  SharedFile& shared = *cursor.shared;
  {
    std::lock_guard<std::mutex> counts(shared.mu);
    if (shared.openCount > 1) return B_INCOMPATIBLE_MODE;
    if (!cursor.exclusive) shared.exclusiveCount++;
  }
  int status = cursor.exclusive ? B_NO_ERROR : bc.table().TryClaim(true);
  if (status == B_NO_ERROR) {
    status = change();
    if (!cursor.exclusive) bc.table().TryClaim(false);
  }
  if (!cursor.exclusive) {
    std::lock_guard<std::mutex> counts(shared.mu);
    shared.exclusiveCount--;
  }
  return status;
}

bool KnownOpenMode(int8_t mode) {
  return mode == B_MODE_NORMAL || mode == B_MODE_ACCELERATED || mode == B_MODE_READ_ONLY ||
         mode == B_MODE_VERIFY || mode == B_MODE_EXCLUSIVE;
}

}  // namespace

int OpOpen(Engine& engine, Call& call) {
  if (call.block == nullptr) return B_FILE_NOT_OPEN;
  if (!KnownOpenMode(call.keyNum)) return B_INVALID_KEYNUMBER;
  FileId id;
  int status = Locate(call.client->Within(NameFromKeyBuffer(call.key, call.keyLen)), false, &id);
  if (status != B_NO_ERROR) return status;

  // A block that still holds an open file lets go of it first.
  {
    BlockCall old(engine, call);
    if (old.status() == B_NO_ERROR) {
      if (old.table().joined()) return B_CLOSE_IN_TRANSACTION;
      CloseCursor(engine, old.cursor());
    }
  }

  Client& client = *call.client;
  std::shared_ptr<Table> table = client.FindTable(id);
  if (!table) {
    std::unique_ptr<Table> opened;
    status = id.backend->Open(*client.SessionFor(*id.backend), id.name, &opened);
    if (status != B_NO_ERROR) return status;
    table = std::move(opened);
  }
  const bool exclusive = call.keyNum == B_MODE_EXCLUSIVE;
  const bool accelerated = call.keyNum == B_MODE_ACCELERATED;
  bool durable = true;
  table = client.AddBlock(id, std::move(table), accelerated, &durable);
  std::unique_lock<std::mutex> lock(table->mutex());
  auto undo = [&](int why) {
    if (client.RemoveBlock(id, accelerated, &durable)) table->SetDurable(durable);
    table->EndCall();
    return why;
  };

  // A file with an owner opens with the owner's name in the data buffer;
  // without a name, for reading only where its owner allows that (51).
  bool readOnly = call.keyNum == B_MODE_READ_ONLY;
  Owner owner;
  if ((status = table->ReadOwner(&owner)) != B_NO_ERROR) return undo(status);
  if (!owner.name.empty()) {
    const std::string given = TextIn(call.data, call.dataLen ? *call.dataLen : 0);
    if (given != owner.name && (!given.empty() || !owner.readWithout)) return undo(B_INVALID_OWNER);
    readOnly = readOnly || given != owner.name;
  }

  // Every other block of the process counts as another user of the file,
  // whichever client opened it.
  std::shared_ptr<SharedFile> shared = engine.SharedFileFor(id);
  {
    std::lock_guard<std::mutex> counts(shared->mu);
    if (exclusive && shared->openCount > 0) return undo(B_INCOMPATIBLE_MODE);
    if (!exclusive && shared->exclusiveCount > 0) return undo(B_FILE_INUSE);
    shared->openCount++;
    if (exclusive) shared->exclusiveCount++;
  }
  if (exclusive && (status = table->TryClaim(true)) != B_NO_ERROR) {
    std::lock_guard<std::mutex> counts(shared->mu);
    shared->openCount--;
    shared->exclusiveCount--;
    return undo(status);
  }
  table->SetDurable(durable);

  auto cursor = std::make_shared<Cursor>();
  cursor->client = engine.ClientFor(client.key());
  cursor->shared = shared;
  cursor->table = table;
  cursor->readOnly = readOnly;
  cursor->exclusive = exclusive;
  cursor->accelerated = accelerated;
  engine.Attach(call.block, std::move(cursor));
  table->EndCall();
  return B_NO_ERROR;
}

int OpClose(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  if (bc.table().joined()) return B_CLOSE_IN_TRANSACTION;
  CloseCursor(engine, bc.cursor());
  return B_NO_ERROR;
}

int OpCreate(Engine& engine, Call& call) {
  const std::string name = call.client->Within(NameFromKeyBuffer(call.key, call.keyLen));
  if (name.empty()) return B_FILENAME_BAD;
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  FileLayout layout;
  int status = ParseLayout(static_cast<const uint8_t*>(call.data), *call.dataLen, &layout);
  if (status != B_NO_ERROR) return status;
  FileId id;
  std::string placeholder;
  status = Locate(name, true, &id, &placeholder);
  if (status != B_NO_ERROR) return status;
  const bool replace = call.keyNum != -1;
  // Replacing: no block of this process may have the file open.
  if (replace && engine.FindSharedFile(id)) return B_FILE_INUSE;
  status = id.backend->Create(id.name, layout, replace);
  // A file made on a server gets its local placeholder, so that this
  // directory shows it to whoever looks before the record manager does.
  if (status == B_NO_ERROR && !placeholder.empty()) status = MakePlaceholder(placeholder);
  return status;
}

int OpStat(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Table& table = bc.table();
  if (!DataBufferHolds(call, static_cast<uint32_t>(table.layout().image.size()))) return B_DATALENGTH_ERROR;
  int status = bc.JoinTransaction();
  if (status != B_NO_ERROR) return status;
  std::string out;
  if ((status = StatImage(table, call.keyNum == -1, &out)) != B_NO_ERROR) return status;
  std::memcpy(call.data, out.data(), out.size());
  *call.dataLen = static_cast<uint32_t>(out.size());
  return B_NO_ERROR;
}

int OpVersion(Engine&, Call& call) {
  // Three 5-byte blocks, each a version and revision (little-endian) and a
  // platform letter: the requester, the local engine (both this library)
  // and a server engine, of which there is none (zeros). A buffer gets the
  // whole blocks it has room for.
  constexpr uint32_t kBlock = 5;
  constexpr uint32_t kBlocks = 3;
  if (!DataBufferHolds(call, kBlock)) return B_DATALENGTH_ERROR;
  uint8_t ours[kBlock];
  std::memcpy(ours, &kEngineVersion, 2);
  std::memcpy(ours + 2, &kEngineRevision, 2);
  ours[4] = static_cast<uint8_t>(os::kPlatformLetter);
  const uint32_t blocks = std::min(*call.dataLen / kBlock, kBlocks);
  uint8_t* out = static_cast<uint8_t*>(call.data);
  std::memset(out, 0, blocks * kBlock);
  for (uint32_t b = 0; b < std::min(blocks, 2u); ++b) std::memcpy(out + b * kBlock, ours, kBlock);
  *call.dataLen = blocks * kBlock;
  return B_NO_ERROR;
}

int OpReset(Engine& engine, Call& call) {
  OpAbort(engine, call);
  engine.ThawAll(*call.client);
  for (const std::shared_ptr<Cursor>& cursor : engine.CursorsOf(*call.client)) {
    std::shared_ptr<Table> table = cursor->table;
    std::lock_guard<std::mutex> lock(table->mutex());
    if (!cursor->closed) CloseCursor(engine, *cursor);
    table->EndCall();
  }
  return B_NO_ERROR;
}

int OpUnlock(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (bc.status() != B_NO_ERROR) return bc.status();
  Cursor& cursor = bc.cursor();
  RecordLocks& locks = cursor.shared->locks;
  switch (call.keyNum) {
    case B_UNLOCK_MULTIPLE_ONE: {
      if (!DataBufferHolds(call, 4)) return B_DATALENGTH_ERROR;
      uint32_t pos;
      std::memcpy(&pos, call.data, 4);
      return pos == 0 ? B_LOCK_ERROR : locks.Unlock(cursor, LockKind::kMultiple, pos);
    }
    case B_UNLOCK_MULTIPLE_ALL: return locks.Unlock(cursor, LockKind::kMultiple, 0);
    default: return locks.Unlock(cursor, LockKind::kSingle, 0);
  }
}

// Continuous Operation: a frozen file stays unchanged on disk, so that a
// backup can copy it while programs go on reading and writing it; what they
// write reaches the file when it is thawed. Freezing is all or nothing over
// the files named; a file frozen already gives 88, as does thawing one the
// client did not freeze; freezing inside the client's transaction gives 41
// (the freeze would wait for the transaction's own lock). Reset thaws the
// client's files.
int OpContinuous(Engine& engine, Call& call) {
  Client& client = *call.client;
  if (call.keyNum == kContinuousEndAll) {
    engine.ThawAll(client);
    return B_NO_ERROR;
  }
  if (call.keyNum != kContinuousBegin && call.keyNum != kContinuousEnd) return B_INVALID_KEYNUMBER;
  if (call.keyNum == kContinuousBegin && client.inTransaction) return B_CLOSE_IN_TRANSACTION;
  std::vector<FileId> ids;
  int status = NamedFiles(call, &ids);
  if (status != B_NO_ERROR) return status;
  if (call.keyNum == kContinuousEnd) {
    for (const FileId& id : ids) {
      const int thawed = engine.Thaw(id, client);
      if (status == B_NO_ERROR) status = thawed;
    }
    return status;
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    std::unique_ptr<FileFreeze> freeze;
    status = engine.Frozen(ids[i]) ? B_INCOMPATIBLE_MODE : ids[i].backend->Freeze(ids[i].name, &freeze);
    if (status == B_NO_ERROR) status = engine.AddFreeze(ids[i], client, std::move(freeze));
    if (status != B_NO_ERROR) {
      for (size_t j = 0; j < i; ++j) engine.Thaw(ids[j], client);
      return status;
    }
  }
  return B_NO_ERROR;
}

// Set Directory: the key buffer names the client's current directory, within
// which its relative file names are taken from then on (a relative name
// here too). 12 when it is not there, 11 when it is no directory.
int OpSetDirectory(Engine&, Call& call) {
  const std::string name = NameFromKeyBuffer(call.key, call.keyLen);
  if (name.empty()) return B_FILENAME_BAD;
  std::string dir;
  const int status = CanonicalExisting(call.client->Within(name), &dir);
  if (status != B_NO_ERROR) return status;
  if (!os::IsDirectory(dir)) return B_FILENAME_BAD;
  call.client->SetDirectory(std::move(dir));
  return B_NO_ERROR;
}

// Get Directory: the client's current directory (the process's until Set
// Directory) into the key buffer, zero-terminated, in the caller's code
// page. Key number 0 asks for the current drive's; another drive's only
// when the current directory is on it (Windows; 11 otherwise, and always
// on a system without drive letters). 21 when the key buffer cannot hold it.
int OpGetDirectory(Engine&, Call& call) {
  std::string dir = call.client->Directory();
  if (dir.empty() && os::CurrentDirectory(&dir) != os::Fail::kNone) return B_IO_ERROR;
  if (call.keyNum != 0) {
    const bool lettered = dir.size() >= 2 && dir[1] == ':';
    const int drive = lettered ? (dir[0] | 0x20) - 'a' + 1 : 0;
    if (call.keyNum != drive) return B_FILENAME_BAD;
  }
  const std::string text = os::CallerName(dir);
  if (!KeyBufferHolds(call, static_cast<unsigned>(text.size() + 1))) return B_KEY_BUFFER_TOO_SHORT;
  std::memcpy(call.key, text.c_str(), text.size() + 1);
  return B_NO_ERROR;
}

// Set Owner: the file gets the owner name that both the data buffer and the
// key buffer hold (at most 8 characters; 51 when they differ or it is
// empty or longer). Key number 0: every Open needs the name; 1: only an
// Open for writing, reading needs none. The encrypting variants (2, 3) are
// not served (6). 50 when the file has an owner already, 41 inside the
// client's transaction; the block must be able to write (46).
int OpSetOwner(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (const int status = MayChangeFile(bc); status != B_NO_ERROR) return status;
  if (call.keyNum != kOwnerForAll && call.keyNum != kOwnerForWrites) return B_INVALID_KEYNUMBER;
  const Owner owner{TextIn(call.data, call.dataLen ? *call.dataLen : 0), call.keyNum == kOwnerForWrites};
  if (owner.name.empty() || owner.name.size() > kOwnerNameMax ||
      TextIn(call.key, call.keyLen) != owner.name) {
    return B_INVALID_OWNER;
  }
  return WriteOwner(bc.table(), owner);
}

// Clear Owner: the file has no owner from then on (its own blocks keep the
// access they opened with). 41 inside the client's transaction; the block
// must be able to write (46): one opened without the name cannot.
int OpClearOwner(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (const int status = MayChangeFile(bc); status != B_NO_ERROR) return status;
  return WriteOwner(bc.table(), Owner{});
}

// Create Index: the key the data buffer describes (its segments' key
// specifications, then its collating sequence if it has one of its own)
// becomes the file's last key, its values taken from every record. Key
// numbers stay without gaps: with B_INDEX_NUMBER_GIVEN the manual key
// number must be the next one (6 otherwise). 5 when a unique key finds two
// records with one value; 41 inside the client's transaction; 46 from a
// block that may not write; 88 while another block has the file open.
int OpCreateIndex(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (const int status = MayChangeFile(bc); status != B_NO_ERROR) return status;
  const FileLayout& layout = bc.table().layout();
  if (!DataBufferHolds(call, sizeof(BtrKeySpec))) return B_DATALENGTH_ERROR;
  if ((call.keyNum & B_INDEX_NUMBER_GIVEN) != 0) {
    BtrKeySpec first;
    std::memcpy(&first, call.data, sizeof first);
    if (first.manualKeyNumber != layout.keys.size()) return B_INVALID_KEYNUMBER;
  }
  FileLayout to;
  const int status = WithKeyAdded(layout, static_cast<const uint8_t*>(call.data), *call.dataLen, &to);
  if (status != B_NO_ERROR) return status;
  return WithFileToItself(bc, [&] { return bc.table().AddKey(to); });
}

// Drop Index: key `key number` goes and the keys after it move down one.
// With B_INDEX_NUMBER_GIVEN the others keep their numbers, which only the
// last key allows (key numbers stay without gaps; 6 otherwise). The block's
// place on the key's path goes with it. Refusals as Create Index's.
int OpDropIndex(Engine& engine, Call& call) {
  BlockCall bc(engine, call);
  if (const int status = MayChangeFile(bc); status != B_NO_ERROR) return status;
  const FileLayout& layout = bc.table().layout();
  const bool numbersKept = (call.keyNum & B_INDEX_NUMBER_GIVEN) != 0;
  const size_t key = static_cast<uint8_t>(call.keyNum) & ~B_INDEX_NUMBER_GIVEN;
  if (key >= layout.keys.size() || (numbersKept && key + 1 != layout.keys.size())) return B_INVALID_KEYNUMBER;
  FileLayout to;
  const int status = WithKeyDropped(layout, key, &to);
  if (status != B_NO_ERROR) return status;
  Cursor& cursor = bc.cursor();
  return WithFileToItself(bc, [&] {
    const int dropped = bc.table().DropKey(to, key);
    if (dropped == B_NO_ERROR && cursor.hasLogical && static_cast<size_t>(cursor.keyNum) >= key) {
      if (static_cast<size_t>(cursor.keyNum) == key) {
        cursor.hasLogical = false;
      } else {
        cursor.keyNum--;
      }
    }
    return dropped;
  });
}

}  // namespace recman
