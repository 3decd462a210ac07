// Everything the record manager asks of the operating system, in one small
// interface: file names and identity, creating and replacing files, locks
// on byte ranges of a file, processes. posix.cpp implements it with POSIX
// calls, win32.cpp with the Windows API; nothing else in the engine
// calls the system directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace recman::os {

// Why a system call failed, in the terms the engine maps to statuses.
enum class Fail {
  kNone,        // it worked
  kNotFound,    // no such file or directory
  kBadName,     // the name cannot name a file (too long, a loop, empty)
  kAccess,      // permission denied, or a read-only medium
  kNoSpace,     // the disk or the user's quota is full
  kExists,      // the target exists already
  kBusy,        // another open file description holds a conflicting lock
  kNotRegular,  // a directory, FIFO or device where a record file belongs
  kIo,          // anything else
};

// The system's own words for the last failure of this thread, for messages.
std::string LastErrorText();

// What a system error number (errno on POSIX, GetLastError on Windows; the
// one a storage library reports of its last failure) means to the engine.
Fail FromSystemError(int err);

// The letter that Version reports for this system.
extern const char kPlatformLetter;

// --- Names -------------------------------------------------------------------

// name as the caller spelled it, in the system's own form: on POSIX systems
// every backslash byte becomes "/" (file names there are UTF-8, which never
// holds the byte 0x5C inside a character); on Windows converted from the
// ANSI code page to UTF-8, the form local storage takes names in.
std::string NativeName(std::string name);

// A name of the system's form (as NativeName makes them) in the caller's:
// on Windows in the ANSI code page, on POSIX systems as it is.
std::string CallerName(const std::string& name);

// The process's current directory, canonical. Returns kNone or why not.
Fail CurrentDirectory(std::string* out);

// The absolute, canonical path of the existing file name (links resolved,
// "." and ".." gone), so that two spellings of one file are one string.
Fail CanonicalPath(const std::string& name, std::string* out);

// The canonical path of a file that may not exist yet: its directory made
// canonical, its last component kept. kNotFound when the directory is missing,
// kBadName when the name ends in a separator or is "." or "..".
Fail CanonicalPathForCreate(const std::string& name, std::string* out);

// The directory part of a canonical path ("/" for a file in the root).
std::string DirectoryOf(const std::string& path);

// The last component of a path.
std::string LeafOf(const std::string& path);

// The path that leads from directory dir to path (both canonical), with
// ".." where it must climb: what stays true when a tree is moved whole.
std::string RelativePath(const std::string& dir, const std::string& path);

// dir joined with name (name may be relative or absolute).
std::string Join(const std::string& dir, const std::string& name);

// True when path names a regular file (not a directory, FIFO or device).
bool IsRegularFile(const std::string& path);

// True when path names a directory.
bool IsDirectory(const std::string& path);

// True when something (of any kind) exists at path.
bool Exists(const std::string& path);

// kNone when files can be created in dir; kAccess (read-only, no
// permission), kNotFound or kIo otherwise.
Fail CheckDirectoryWritable(const std::string& dir);

// kNone when this process may write the existing file at path.
Fail CheckFileWritable(const std::string& path);

// True when the file named file (which need not exist; its directory must)
// lies on a network file system, one that processes on other machines
// reach too: NFS, SMB/CIFS and the other remote types of posix.cpp's
// table; on Windows a UNC name or a drive the system reports remote. False
// on a local disk, and when the kind cannot be told. Test builds take the
// file-system type (statfs's on POSIX systems, GetDriveType's on Windows)
// from RECMAN_TEST_FILE_SYSTEM when it is set; release builds never do.
bool OnNetworkFileSystem(const std::string& file);

// --- Creating and replacing ----------------------------------------------------

// The names in directory dir (without "." and ".."); empty when unreadable.
std::vector<std::string> ListDirectory(const std::string& dir);

// Seconds since the file at path was last modified; -1 when unknown.
int64_t SecondsSinceModified(const std::string& path);

// Copies the bytes of the file at from into a new file at to (which must not
// exist), made by this process with from's permission bits, and syncs it.
Fail CopyFile(const std::string& from, const std::string& to);

// Up to max bytes from the start of the regular file at path, into *out.
Fail ReadStart(const std::string& path, size_t max, std::string* out);

// Writes bytes into a new file at path (kExists when something is there),
// synced; a file half written is removed.
Fail WriteNewFile(const std::string& path, const std::string& bytes);

// Removes the file at path; a missing file is not a failure.
Fail RemoveFile(const std::string& path);

// Moves from onto to in one step; kExists (and nothing moved) when to exists.
Fail RenameNoReplace(const std::string& from, const std::string& to);

// Moves from onto to in one step, replacing what was there. On Windows a
// target that is open (with sharing that allows deleting) is first moved
// aside to from + ".replaced" and deleted after: for that moment to does not
// exist.
Fail RenameReplace(const std::string& from, const std::string& to);

// Makes the directory's entries (a rename, a new file) durable.
void SyncDirectory(const std::string& dir);

// --- Processes ---------------------------------------------------------------

// This process's id (cached; renewed in a forked child).
uint32_t ProcessId();

// False when no process with id pid runs on this machine (true when unsure).
bool ProcessRuns(uint32_t pid);

// Registers what a forked child runs first (POSIX only; no-op elsewhere):
// prepare runs in the parent before the fork, parent after it in the
// parent, child in the child.
void AtFork(void (*prepare)(), void (*parent)(), void (*child)());

// Ends the process at once, without running exit handlers (test hooks).
[[noreturn]] void ExitNow(int code);

// True when some process holds a lock (of the kind local storage takes, a POSIX
// record lock on POSIX systems) on a byte of [offset, offset + length) of
// the file at path; false when none or the file cannot be opened.
bool LockedBySomeone(const std::string& path, uint64_t offset, uint64_t length);

// --- Time ----------------------------------------------------------------------

// A monotonic clock that is cheap to read (no system call, no counter read)
// and right to a few milliseconds: for the age of things, not for timings.
struct CoarseClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<CoarseClock>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept;
};

// --- Memory mapped from files ----------------------------------------------

// The most of one file that storage maps into memory (0: never map): the
// address space of the process is the limit.
int64_t MappedBytesPerFile();

// A range mapped from a file. While it is guarded, a page of it whose file
// was cut short under it (by another program) reads as zeros instead of
// killing the process, and the storage finds the file damaged. The first
// guard installs the process's handler for that fault, which hands every
// other such fault to the handler the program had. Where the system does
// not let a mapped file shrink, guarding does nothing.
void GuardMappedRange(const void* base, size_t length);
void UnguardMappedRange(const void* base);

// --- Locks ---------------------------------------------------------------------

// An open handle on a file that holds locks on it: one claim on the whole
// file (shared or exclusive) and exclusive locks on byte ranges. Locks
// belong to the handle: two handles conflict even in one process, a handle
// never conflicts with itself, and every lock goes when the handle closes or
// the process dies. The ranges lie far beyond the end of any file, so they
// never touch the bytes the storage reads and writes nor the storage's own
// locks.
//
// On POSIX systems closing any descriptor of a file drops the locks that the
// process holds on it through other descriptors (local storage's among
// them): a handle must therefore be closed only after every storage
// connection of this process to the file has closed.
class LockHandle {
 public:
  LockHandle() = default;
  ~LockHandle() { Close(); }
  LockHandle(const LockHandle&) = delete;
  LockHandle& operator=(const LockHandle&) = delete;

  // Opens path for locking only, for writing when allowed (range locks need
  // it), else for reading. Never blocks (a FIFO does not hang it);
  // kNotRegular for anything but a regular file.
  Fail Open(const std::string& path);
  // Creates a new empty file at path (kExists when something is there) with
  // the permission bits a new file gets, and opens it for locking.
  Fail Create(const std::string& path);
  void Close();
  bool is_open() const { return handle_ != -1; }

  // Takes the claim on the whole file without waiting, or changes its kind:
  // kNone, kBusy when another handle's claim conflicts (the claim held
  // before stays), kAccess for an exclusive claim on a handle opened for
  // reading only.
  Fail TryClaim(bool exclusive);
  // Lets the claim go.
  void DropClaim();

  // Takes an exclusive lock on [offset, offset + length) without waiting:
  // kNone, kBusy when another handle holds a lock on it, kAccess when the
  // handle could only be opened for reading.
  Fail TryLock(uint64_t offset, uint64_t length);
  // Releases the handle's lock on exactly that range.
  void Unlock(uint64_t offset, uint64_t length);
  // True when another handle holds a lock on some byte of the range.
  bool HeldElsewhere(uint64_t offset, uint64_t length);

 private:
  enum class Claim { kNone, kShared, kExclusive };

  intptr_t handle_ = -1;  // descriptor (POSIX) or HANDLE (Windows); -1 when closed
  bool writable_ = false;  // opened for writing: range locks are possible
  [[maybe_unused]] Claim claim_ = Claim::kNone;  // the claim held (Windows: a lock cannot change kind in place)
};

// Where the locks live: the claim's byte; the byte a transaction that holds
// the file marks, so that other processes' lock requests see it; then one
// byte per record position.
constexpr uint64_t kClaimOffset = uint64_t{1} << 40;
constexpr uint64_t kTransactionMark = kClaimOffset + 1;
constexpr uint64_t kRecordLockBase = kClaimOffset + 4096;

}  // namespace recman::os
