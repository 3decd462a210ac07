// Operations on files as wholes: Open, Close, Create, Stat, and the
// client-wide Version, Reset and Unlock.

#include <cstring>

#include "recman/call.h"
#include "recman/create_file.h"
#include "recman/os.h"
#include "recman/path.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// What Version reports: this engine's own numbering.
constexpr uint16_t kEngineVersion = 1;
constexpr uint16_t kEngineRevision = 0;

bool KnownOpenMode(int8_t mode) {
  return mode == B_MODE_NORMAL || mode == B_MODE_ACCELERATED || mode == B_MODE_READ_ONLY ||
         mode == B_MODE_VERIFY || mode == B_MODE_EXCLUSIVE;
}

}  // namespace

int OpOpen(Engine& engine, Call& call) {
  if (call.block == nullptr) return B_FILE_NOT_OPEN;
  if (!KnownOpenMode(call.keyNum)) return B_INVALID_KEYNUMBER;
  const std::string name = NameFromKeyBuffer(call.key, call.keyLen);
  if (name.empty()) return B_FILENAME_BAD;
  std::string path;
  int status = CanonicalExisting(name, &path);
  if (status != B_NO_ERROR) return status;

  // A block that still holds an open file lets go of it first.
  if (Cursor* old = engine.Find(call.block)) {
    if (old->file->inTransaction) return B_CLOSE_IN_TRANSACTION;
    engine.Detach(old);
  }

  std::shared_ptr<RecordFile> file = engine.FindFile(path);
  const bool fresh = file == nullptr;
  if (fresh) {
    std::unique_ptr<RecordFile> opened;
    status = RecordFile::Open(path, &opened);
    if (status != B_NO_ERROR) return status;
    file = std::move(opened);
  }
  const bool exclusive = call.keyNum == B_MODE_EXCLUSIVE;
  if (exclusive) {
    if (file->openCount > 0) return B_INCOMPATIBLE_MODE;
    status = file->ClaimExclusive();
    if (status != B_NO_ERROR) return status;
  } else if (file->exclusiveCount > 0) {
    return B_FILE_INUSE;
  }
  if (fresh) engine.AddFile(file);

  auto cursor = std::make_unique<Cursor>();
  cursor->file = file;
  cursor->readOnly = call.keyNum == B_MODE_READ_ONLY;
  cursor->exclusive = exclusive;
  cursor->accelerated = call.keyNum == B_MODE_ACCELERATED;
  file->openCount++;
  if (exclusive) file->exclusiveCount++;
  if (cursor->accelerated) file->acceleratedCount++;
  Engine::UpdateDurability(*file);
  engine.Attach(call.block, std::move(cursor));
  engine.EnsureReaper();
  return B_NO_ERROR;
}

int OpClose(Engine& engine, Call& call) {
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  if (cursor->file->inTransaction) return B_CLOSE_IN_TRANSACTION;
  engine.Detach(cursor);
  return B_NO_ERROR;
}

int OpCreate(Engine& engine, Call& call) {
  const std::string name = NameFromKeyBuffer(call.key, call.keyLen);
  if (name.empty()) return B_FILENAME_BAD;
  if (call.data == nullptr || call.dataLen == nullptr) return B_DATALENGTH_ERROR;
  FileLayout layout;
  int status = ParseLayout(static_cast<const uint8_t*>(call.data), *call.dataLen, &layout);
  if (status != B_NO_ERROR) return status;
  std::string path;
  status = CanonicalForCreate(name, &path);
  if (status != B_NO_ERROR) return status;
  const bool replace = call.keyNum != -1;
  if (!os::Exists(path)) {
    status = CreateRecordFile(path, layout, false);
    // Another creator was quicker: key number 0 overwrites what it made.
    if (status != B_FILE_ALREADY_EXISTS || !replace) return status;
  } else if (!replace) {
    return B_FILE_ALREADY_EXISTS;
  }
  if (!os::IsRegularFile(path)) return B_CREATE_IO_ERROR;
  // Replacing: nobody may have the file open, here or in another process,
  // and nobody may open it until the new file is in place.
  if (engine.FindFile(path)) return B_FILE_INUSE;
  os::LockHandle old;
  os::Fail f = old.Open(path);
  if (f == os::Fail::kNone) f = old.TryClaim(true);
  if (f != os::Fail::kNone) return f == os::Fail::kBusy ? B_FILE_INUSE : StatusFromFail(f);
  return CreateRecordFile(path, layout, true);
}

int OpStat(Engine& engine, Call& call) {
  Cursor* cursor = engine.Find(call.block);
  if (cursor == nullptr) return B_FILE_NOT_OPEN;
  RecordFile& file = *cursor->file;
  const std::string& image = file.layout().image;
  if (!DataBufferHolds(call, static_cast<uint32_t>(image.size()))) return B_DATALENGTH_ERROR;
  int status = JoinTransaction(engine, cursor->file, Access::kFile);
  if (status != B_NO_ERROR) return status;
  cursor->file->PrepareRead();

  std::string out = image;
  BtrFileSpec spec;
  std::memcpy(&spec, out.data(), sizeof spec);
  {
    StatementUse use(file.count());
    const int rc = sqlite3_step(*use);
    if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kFile);
    spec.numberOfRecords = static_cast<uint32_t>(sqlite3_column_int64(*use, 0));
  }
  spec.fileVersion = call.keyNum == -1 ? kFormatVersion : 0;
  spec.allocation = 0;  // pages are SQLite's; none is reported unused
  std::memcpy(out.data(), &spec, sizeof spec);

  size_t at = sizeof spec;
  for (size_t k = 0; k < file.layout().keys.size(); ++k) {
    // Counted at the time of asking: Stat is not on any hot path.
    Statement distinct;
    int rc = distinct.Prepare(file.db(), "SELECT count(DISTINCT " + KeyColumn(k) + ") FROM records");
    if (rc != SQLITE_OK) return FailureStatus(engine, file, rc, Access::kFile);
    StatementUse use(distinct);
    rc = sqlite3_step(*use);
    if (rc != SQLITE_ROW) return FailureStatus(engine, file, rc, Access::kFile);
    const uint32_t unique = static_cast<uint32_t>(sqlite3_column_int64(*use, 0));
    for (size_t s = 0; s < file.layout().keys[k].segments.size(); ++s, at += sizeof(BtrKeySpec)) {
      BtrKeySpec ks;
      std::memcpy(&ks, out.data() + at, sizeof ks);
      ks.uniqueValues = unique;
      std::memcpy(out.data() + at, &ks, sizeof ks);
    }
  }
  std::memcpy(call.data, out.data(), out.size());
  *call.dataLen = static_cast<uint32_t>(out.size());
  return B_NO_ERROR;
}

int OpVersion(Engine&, Call& call) {
  // One 5-byte block: version, revision (little-endian), platform letter.
  constexpr uint32_t kBlock = 5;
  if (!DataBufferHolds(call, kBlock)) return B_DATALENGTH_ERROR;
  uint8_t* out = static_cast<uint8_t*>(call.data);
  const uint16_t version = kEngineVersion;
  const uint16_t revision = kEngineRevision;
  std::memcpy(out, &version, 2);
  std::memcpy(out + 2, &revision, 2);
  out[4] = 'L';
  *call.dataLen = kBlock;
  return B_NO_ERROR;
}

int OpReset(Engine& engine, Call& call) {
  OpAbort(engine, call);
  for (Cursor* cursor : engine.Cursors()) engine.Detach(cursor);
  return B_NO_ERROR;
}

int OpUnlock(Engine& engine, Call& call) {
  // Records are never locked by reads: a change by someone else since the
  // read shows as 80 at Update or Delete. Nothing to release.
  return engine.Find(call.block) ? B_NO_ERROR : B_FILE_NOT_OPEN;
}

}  // namespace recman
