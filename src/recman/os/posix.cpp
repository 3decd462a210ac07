// The operating-system interface on POSIX systems (Linux).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "recman/os/error_table.h"
#include "recman/os/os.h"

namespace recman::os {
namespace {

// The errno values that have a meaning of their own to the engine.
constexpr ErrorMeaning<int> kErrnoTable[] = {
    {ENOENT, Fail::kNotFound},     {ENOTDIR, Fail::kNotFound},   {ENAMETOOLONG, Fail::kBadName},
    {ELOOP, Fail::kBadName},       {EACCES, Fail::kAccess},      {EPERM, Fail::kAccess},
    {EROFS, Fail::kAccess},        {ENOSPC, Fail::kNoSpace},     {EDQUOT, Fail::kNoSpace},
    {EEXIST, Fail::kExists},       {EWOULDBLOCK, Fail::kBusy},   {EAGAIN, Fail::kBusy},
    {EISDIR, Fail::kNotRegular},
};

Fail FromErrno(int err) { return MeaningOf(kErrnoTable, err); }

std::atomic<uint32_t> g_process{static_cast<uint32_t>(::getpid())};

void RenewProcessId() { g_process = static_cast<uint32_t>(::getpid()); }

// File systems whose files processes on other machines reach too, by the
// type statfs reports. FUSE (0x65735546) is not among them: its type says
// nothing of where the files are, and most FUSE file systems on a
// workstation (NTFS disks, virtual machines' shared folders) are local.
constexpr uint32_t kNetworkFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB (smbfs)
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2 and SMB3
    0x564C,      // NCP (NetWare)
    0x73757245,  // Coda
    0x5346414F,  // AFS (OpenAFS)
    0x6B414653,  // AFS (kAFS)
    0x01021997,  // 9P (v9fs)
    0x00C36400,  // Ceph
    0x0BD00BD0,  // Lustre
    0x47504653,  // GPFS
    0x01161970,  // GFS2 (a disk shared by machines)
    0x7461636F,  // OCFS2 (a disk shared by machines)
};

// The type of the file system that holds dir, as statfs reports it; false
// when it cannot be told.
bool FileSystemType(const std::string& dir, uint32_t* type) {
#ifdef RECMAN_TEST_SEAMS
  if (const char* forced = getenv("RECMAN_TEST_FILE_SYSTEM")) {
    *type = static_cast<uint32_t>(strtoul(forced, nullptr, 0));
    return true;
  }
#endif
  struct statfs st;
  if (::statfs(dir.c_str(), &st) != 0) return false;
  *type = static_cast<uint32_t>(st.f_type);
  return true;
}

// Registered before any other fork handler of the engine, so that a child
// knows its own id before the engine's handlers run.
[[maybe_unused]] const int g_renew = pthread_atfork(nullptr, nullptr, RenewProcessId);

}  // namespace

const char kPlatformLetter = 'L';

std::string LastErrorText() { return strerror(errno); }

Fail FromSystemError(int err) { return FromErrno(err); }

std::string NativeName(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

std::string CallerName(const std::string& name) { return name; }

Fail CurrentDirectory(std::string* out) {
  char path[PATH_MAX];
  if (::getcwd(path, sizeof path) == nullptr) return FromSystemError(errno);
  return CanonicalPath(path, out);
}

Fail CanonicalPath(const std::string& name, std::string* out) {
  if (name.empty() || name.size() >= PATH_MAX) return Fail::kBadName;
  char resolved[PATH_MAX];
  if (realpath(name.c_str(), resolved) == nullptr) return FromErrno(errno);
  *out = resolved;
  return Fail::kNone;
}

Fail CanonicalPathForCreate(const std::string& name, std::string* out) {
  if (name.empty() || name.size() >= PATH_MAX || name.back() == '/') return Fail::kBadName;
  const size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  if (leaf == "." || leaf == "..") return Fail::kBadName;
  char resolved[PATH_MAX];
  if (realpath(dir.c_str(), resolved) == nullptr) return FromErrno(errno);
  *out = Join(resolved, leaf);
  return Fail::kNone;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RelativePath(const std::string& dir, const std::string& path) {
  auto parts = [](const std::string& p) {
    std::vector<std::string> out;
    for (size_t at = 0; at < p.size();) {
      const size_t slash = p.find('/', at);
      const size_t end = slash == std::string::npos ? p.size() : slash;
      if (end > at) out.push_back(p.substr(at, end - at));
      at = end + 1;
    }
    return out;
  };
  const std::vector<std::string> from = parts(dir);
  const std::vector<std::string> to = parts(path);
  size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (size_t i = common; i < from.size(); ++i) out += "../";
  for (size_t i = common; i < to.size(); ++i) out += to[i] + (i + 1 < to.size() ? "/" : "");
  return out;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

Fail CheckDirectoryWritable(const std::string& dir) {
  if (::access(dir.c_str(), W_OK | X_OK) == 0) return Fail::kNone;
  return FromErrno(errno);
}

Fail CheckFileWritable(const std::string& path) {
  if (::access(path.c_str(), W_OK) == 0) return Fail::kNone;
  return FromErrno(errno);
}

bool OnNetworkFileSystem(const std::string& file) {
  uint32_t type = 0;
  if (!FileSystemType(DirectoryOf(file), &type)) return false;
  for (const uint32_t network : kNetworkFileSystems) {
    if (network == type) return true;
  }
  return false;
}

std::vector<std::string> ListDirectory(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return out;
  while (const struct dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") out.push_back(name);
  }
  ::closedir(d);
  return out;
}

int64_t SecondsSinceModified(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  const time_t now = ::time(nullptr);
  return now >= st.st_mtime ? static_cast<int64_t>(now - st.st_mtime) : 0;
}

namespace {

// Opens path for reading, a regular file only: the descriptor and *st, or
// -1 with *fail saying why (kNotRegular for anything else).
int OpenRegular(const std::string& path, struct stat* st, Fail* fail) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *fail = FromErrno(errno);
    return -1;
  }
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
    *fail = Fail::kNotRegular;
    return -1;
  }
  return fd;
}

}  // namespace

Fail CopyFile(const std::string& from, const std::string& to) {
  struct stat st;
  Fail opened = Fail::kNone;
  const int in = OpenRegular(from, &st, &opened);
  if (in < 0) return opened;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    const Fail f = FromErrno(errno);
    ::close(in);
    return f;
  }
  Fail result = Fail::kNone;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = FromErrno(errno);
      break;
    }
    for (ssize_t done = 0; done < n && result == Fail::kNone;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) result = FromErrno(errno);
      else done += w;
    }
    if (result != Fail::kNone) break;
  }
  if (result == Fail::kNone && ::fsync(out) != 0) result = FromErrno(errno);
  ::close(in);
  if (::close(out) != 0 && result == Fail::kNone) result = FromErrno(errno);
  if (result != Fail::kNone) ::unlink(to.c_str());
  return result;
}

Fail ReadStart(const std::string& path, size_t max, std::string* out) {
  struct stat st;
  Fail opened = Fail::kNone;
  const int fd = OpenRegular(path, &st, &opened);
  if (fd < 0) return opened;
  out->assign(max, '\0');
  size_t got = 0;
  Fail result = Fail::kNone;
  while (got < max) {
    const ssize_t n = ::read(fd, out->data() + got, max - got);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = FromErrno(errno);
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  out->resize(got);
  return result;
}

Fail WriteNewFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FromErrno(errno);
  Fail result = Fail::kNone;
  for (size_t done = 0; done < bytes.size() && result == Fail::kNone;) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) result = FromErrno(errno);
    else done += static_cast<size_t>(w);
  }
  if (result == Fail::kNone && ::fsync(fd) != 0) result = FromErrno(errno);
  if (::close(fd) != 0 && result == Fail::kNone) result = FromErrno(errno);
  if (result != Fail::kNone) ::unlink(path.c_str());
  return result;
}

Fail RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return Fail::kNone;
  return FromErrno(errno);
}

Fail RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Fail::kNone;
  }
  if (errno != EINVAL && errno != ENOSYS) return FromErrno(errno);
  // A file system without that kind of rename: a hard link fails as well
  // when the target exists; then the temporary name goes.
  if (::link(from.c_str(), to.c_str()) != 0) return FromErrno(errno);
  ::unlink(from.c_str());
  return Fail::kNone;
}

Fail RenameReplace(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return Fail::kNone;
  return FromErrno(errno);
}

void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

CoarseClock::time_point CoarseClock::now() noexcept {
#ifdef CLOCK_MONOTONIC_COARSE
  constexpr clockid_t kClock = CLOCK_MONOTONIC_COARSE;  // the last tick, read from the vDSO
#else
  constexpr clockid_t kClock = CLOCK_MONOTONIC;
#endif
  struct timespec ts;
  ::clock_gettime(kClock, &ts);
  return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

uint32_t ProcessId() { return g_process.load(std::memory_order_relaxed); }

bool ProcessRuns(uint32_t pid) {
  if (pid == 0) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

void AtFork(void (*prepare)(), void (*parent)(), void (*child)()) {
  pthread_atfork(prepare, parent, child);
}

void ExitNow(int code) { _exit(code); }

bool LockedBySomeone(const std::string& path, uint64_t offset, uint64_t length) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  const bool held = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  // This descriptor held no lock, and the file is no database of this
  // process's connections (the caller's file does not exist): closing it
  // drops nothing.
  ::close(fd);
  return held;
}

int64_t MappedBytesPerFile() { return sizeof(void*) >= 8 ? int64_t{1} << 40 : 0; }

namespace {

// Ranges guarded against faults, found by the signal handler without a lock.
struct GuardedRange {
  std::atomic<bool> taken{false};  // the slot belongs to a range
  std::atomic<uintptr_t> base{0};  // start, published last; 0 while not in use
  std::atomic<size_t> length{0};   // bytes
};
constexpr size_t kGuardedSlots = 1024;
GuardedRange g_guarded[kGuardedSlots];
struct sigaction g_previousBus;   // the program's handler, for faults not ours
std::once_flag g_busInstalled;    // the handler is installed once

void OnBusError(int sig, siginfo_t* info, void* context) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& range : g_guarded) {
    const uintptr_t base = range.base.load(std::memory_order_acquire);
    if (base == 0 || at < base || at - base >= range.length.load(std::memory_order_relaxed)) continue;
    // A page of a file cut short under its mapping: zeros in its place. The
    // read goes on, and the storage finds the page damaged.
    const uintptr_t page = at & ~static_cast<uintptr_t>(::getpagesize() - 1);
    if (::mmap(reinterpret_cast<void*>(page), static_cast<size_t>(::getpagesize()), PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      return;
    }
  }
  if ((g_previousBus.sa_flags & SA_SIGINFO) != 0 && g_previousBus.sa_sigaction != nullptr) {
    g_previousBus.sa_sigaction(sig, info, context);
  } else if (g_previousBus.sa_handler != SIG_DFL && g_previousBus.sa_handler != SIG_IGN) {
    g_previousBus.sa_handler(sig);
  } else {
    // Not ours: the access is made again on return and takes the default.
    ::signal(SIGBUS, SIG_DFL);
  }
}

std::atomic<bool> g_busHandled{false};  // OnBusError is the process's handler

void InstallBusHandler() {
  struct sigaction action = {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  if (::sigaction(SIGBUS, &action, &g_previousBus) == 0) g_busHandled = true;
}

// When the library is unloaded, the program's own handler comes back: the
// handler's code goes with the library.
struct BusHandlerRestorer {
  ~BusHandlerRestorer() {
    if (g_busHandled.exchange(false)) ::sigaction(SIGBUS, &g_previousBus, nullptr);
  }
} g_busRestorer;

}  // namespace

void GuardMappedRange(const void* base, size_t length) {
  std::call_once(g_busInstalled, InstallBusHandler);
  for (GuardedRange& range : g_guarded) {
    bool free = false;
    if (!range.taken.compare_exchange_strong(free, true, std::memory_order_acquire)) continue;
    range.length.store(length, std::memory_order_relaxed);
    range.base.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
    return;
  }
}

void UnguardMappedRange(const void* base) {
  for (GuardedRange& range : g_guarded) {
    uintptr_t expected = reinterpret_cast<uintptr_t>(base);
    if (range.base.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) {
      range.taken.store(false, std::memory_order_release);
      return;
    }
  }
}

Fail LockHandle::Open(const std::string& path) {
  Close();
  // Non-blocking: a FIFO under a record file's name must not hang the open.
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  writable_ = fd >= 0;
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  }
  if (fd < 0) return errno == ENXIO ? Fail::kNotRegular : FromErrno(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail::kNotRegular;
  }
  handle_ = fd;
  return Fail::kNone;
}

Fail LockHandle::Create(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FromErrno(errno);
  handle_ = fd;
  writable_ = true;
  return Fail::kNone;
}

void LockHandle::Close() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

namespace {

// Locks of the open file description (not of the process): they are not
// dropped when another descriptor of the file closes, and two descriptions
// conflict even within one process.
struct flock RangeOf(short type, uint64_t offset, uint64_t length) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  return fl;
}

}  // namespace

Fail LockHandle::TryClaim(bool exclusive) {
  // A change of kind is atomic: when it fails, the claim held stays.
  if (exclusive && !writable_) return Fail::kAccess;
  struct flock fl = RangeOf(exclusive ? F_WRLCK : F_RDLCK, kClaimOffset, 1);
  if (::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &fl) == 0) return Fail::kNone;
  return FromErrno(errno);
}

void LockHandle::DropClaim() { Unlock(kClaimOffset, 1); }

Fail LockHandle::TryLock(uint64_t offset, uint64_t length) {
  if (!writable_) return Fail::kAccess;
  struct flock fl = RangeOf(F_WRLCK, offset, length);
  if (::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &fl) == 0) return Fail::kNone;
  return FromErrno(errno);
}

void LockHandle::Unlock(uint64_t offset, uint64_t length) {
  struct flock fl = RangeOf(F_UNLCK, offset, length);
  ::fcntl(static_cast<int>(handle_), F_OFD_SETLK, &fl);
}

bool LockHandle::HeldElsewhere(uint64_t offset, uint64_t length) {
  // A read lock asked of the kernel conflicts only with write locks, which
  // are the only kind taken on ranges.
  struct flock fl = RangeOf(F_RDLCK, offset, length);
  if (::fcntl(static_cast<int>(handle_), F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

}  // namespace recman::os
