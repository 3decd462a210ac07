// The operating-system interface on Windows. Names reach the engine in the
// ANSI code page and leave it as UTF-8, the form local storage takes; every call
// here uses the system's wide-character functions.
#include <windows.h>
#undef CopyFile  // <windows.h>'s macro for CopyFileA would rename os::CopyFile

#include <cstdlib>
#include <cwchar>

#include "recman/os/error_table.h"
#include "recman/os/os.h"

namespace recman::os {
namespace {

// The GetLastError values that have a meaning of their own to the engine.
constexpr ErrorMeaning<DWORD> kErrorTable[] = {
    {ERROR_FILE_NOT_FOUND, Fail::kNotFound},     {ERROR_PATH_NOT_FOUND, Fail::kNotFound},
    {ERROR_INVALID_DRIVE, Fail::kNotFound},      {ERROR_BAD_NETPATH, Fail::kNotFound},
    {ERROR_INVALID_NAME, Fail::kBadName},        {ERROR_FILENAME_EXCED_RANGE, Fail::kBadName},
    {ERROR_BAD_PATHNAME, Fail::kBadName},        {ERROR_ACCESS_DENIED, Fail::kAccess},
    {ERROR_WRITE_PROTECT, Fail::kAccess},        {ERROR_DISK_FULL, Fail::kNoSpace},
    {ERROR_HANDLE_DISK_FULL, Fail::kNoSpace},    {ERROR_FILE_EXISTS, Fail::kExists},
    {ERROR_ALREADY_EXISTS, Fail::kExists},       {ERROR_LOCK_VIOLATION, Fail::kBusy},
    {ERROR_SHARING_VIOLATION, Fail::kBusy},      {ERROR_DIRECTORY, Fail::kNotRegular},
};

Fail FromWinError(DWORD err) { return MeaningOf(kErrorTable, err); }

Fail LastFail() { return FromWinError(GetLastError()); }

std::wstring Widen(const std::string& text, UINT codePage) {
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

// The engine's names (UTF-8) as the wide functions take them.
std::wstring Wide(const std::string& utf8) { return Widen(utf8, CP_UTF8); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

bool IsAbsolute(const std::string& name) {
  return (!name.empty() && IsSeparator(name[0])) || (name.size() >= 2 && name[1] == ':');
}

// The file's final path, without the "\\?\" prefix that the system adds.
Fail FinalPath(HANDLE file, std::string* out) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= path.size()) {
    path.resize(n);
    n = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= path.size()) return LastFail();
  path.resize(n);
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    path = L"\\\\" + path.substr(8);
  } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
    path = path.substr(4);
  }
  *out = Utf8(path);
  return Fail::kNone;
}

// Opens name for reading its attributes only; directories too.
HANDLE OpenForAttributes(const std::string& name) {
  return CreateFileW(Wide(name).c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

}  // namespace

const char kPlatformLetter = 'W';

std::string LastErrorText() {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, GetLastError(), 0, reinterpret_cast<char*>(&text), 0,
                                 nullptr);
  std::string result(text != nullptr ? text : "", n);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

Fail FromSystemError(int err) { return FromWinError(static_cast<DWORD>(err)); }

std::string NativeName(std::string name) { return Utf8(Widen(name, CP_ACP)); }

std::string CallerName(const std::string& name) {
  const std::wstring wide = Wide(name);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  }
  return text;
}

Fail CurrentDirectory(std::string* out) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
  if (n > path.size()) {
    path.resize(n);
    n = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
  }
  if (n == 0) return LastFail();
  path.resize(n);
  return CanonicalPath(Utf8(path), out);
}

Fail CanonicalPath(const std::string& name, std::string* out) {
  if (name.empty()) return Fail::kBadName;
  const HANDLE file = OpenForAttributes(name);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  // A pipe or a device has no path on a disk (directories are disk objects).
  const Fail f = GetFileType(file) == FILE_TYPE_DISK ? FinalPath(file, out) : Fail::kNotRegular;
  CloseHandle(file);
  return f;
}

Fail CanonicalPathForCreate(const std::string& name, std::string* out) {
  if (name.empty() || IsSeparator(name.back()) || name.back() == ':') return Fail::kBadName;
  const size_t slash = LastSeparator(name);
  std::string dir = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  if (leaf == "." || leaf == "..") return Fail::kBadName;
  std::string canonical;
  const Fail f = CanonicalPath(dir, &canonical);
  if (f != Fail::kNone) return f;
  *out = Join(canonical, leaf);
  return Fail::kNone;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  // The root keeps its separator: "C:\" and "\".
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RelativePath(const std::string& dir, const std::string& path) {
  auto parts = [](const std::string& p) {
    std::vector<std::string> out;
    for (size_t at = 0; at < p.size();) {
      size_t end = at;
      while (end < p.size() && !IsSeparator(p[end])) ++end;
      if (end > at) out.push_back(p.substr(at, end - at));
      at = end + 1;
    }
    return out;
  };
  // Names compare as Windows compares them: without regard to case.
  auto same = [](const std::string& a, const std::string& b) {
    return CompareStringOrdinal(Wide(a).c_str(), -1, Wide(b).c_str(), -1, TRUE) == CSTR_EQUAL;
  };
  const std::vector<std::string> from = parts(dir);
  const std::vector<std::string> to = parts(path);
  if (from.empty() || to.empty() || !same(from[0], to[0])) return path;  // another drive
  size_t common = 0;
  while (common < from.size() && common < to.size() && same(from[common], to[common])) ++common;
  std::string out;
  for (size_t i = common; i < from.size(); ++i) out += "../";
  for (size_t i = common; i < to.size(); ++i) out += to[i] + (i + 1 < to.size() ? "/" : "");
  return out;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (IsAbsolute(name)) return name;
  if (dir.empty() || IsSeparator(dir.back())) return dir + name;
  return dir + "\\" + name;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool Exists(const std::string& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Fail CheckDirectoryWritable(const std::string& dir) {
  // Windows has no test for "may create here" but trying: a probe file that
  // goes when its handle closes.
  const std::string probe =
      Join(dir, ".recman-probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetCurrentThreadId()));
  const HANDLE file = CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  CloseHandle(file);
  return Fail::kNone;
}

bool OnNetworkFileSystem(const std::string& file) {
  const std::wstring name = Wide(file);
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return false;
  full.resize(n);
  // \\server\share\... and \\?\UNC\server\share\...: a share reached by its
  // name. Other names in the "\\?\" space name a drive after the prefix.
  if (_wcsnicmp(full.c_str(), L"\\\\?\\UNC\\", 8) == 0) return true;
  if (full.compare(0, 4, L"\\\\?\\") == 0) full.erase(0, 4);
  if (full.compare(0, 2, L"\\\\") == 0) return full.compare(0, 4, L"\\\\.\\") != 0;
  if (full.size() < 2 || full[1] != L':') return false;
  UINT type = GetDriveTypeW(full.substr(0, 2).append(L"\\").c_str());
#ifdef RECMAN_TEST_SEAMS
  if (const char* forced = std::getenv("RECMAN_TEST_FILE_SYSTEM")) {
    type = static_cast<UINT>(std::strtoul(forced, nullptr, 0));
  }
#endif
  return type == DRIVE_REMOTE;
}

Fail CheckFileWritable(const std::string& path) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  CloseHandle(file);
  return Fail::kNone;
}

std::vector<std::string> ListDirectory(const std::string& dir) {
  std::vector<std::string> out;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW(Wide(Join(dir, "*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    const std::string name = Utf8(entry.cFileName);
    if (name != "." && name != "..") out.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return out;
}

int64_t SecondsSinceModified(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const int64_t age = ticks(now) - ticks(data.ftLastWriteTime);  // 100 ns units
  return age > 0 ? age / 10000000 : 0;
}

Fail CopyFile(const std::string& from, const std::string& to) {
  if (!IsRegularFile(from)) return Exists(from) ? Fail::kNotRegular : Fail::kNotFound;
  if (!CopyFileW(Wide(from).c_str(), Wide(to).c_str(), TRUE)) return LastFail();
  const HANDLE copy = CreateFileW(Wide(to).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool synced = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
  const Fail f = synced ? Fail::kNone : LastFail();
  if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
  if (f != Fail::kNone) DeleteFileW(Wide(to).c_str());
  return f;
}

Fail ReadStart(const std::string& path, size_t max, std::string* out) {
  if (!IsRegularFile(path)) return Exists(path) ? Fail::kNotRegular : Fail::kNotFound;
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  out->assign(max, '\0');
  size_t got = 0;
  Fail result = Fail::kNone;
  while (got < max) {
    DWORD n = 0;
    if (!ReadFile(file, out->data() + got, static_cast<DWORD>(max - got), &n, nullptr)) {
      result = LastFail();
      break;
    }
    if (n == 0) break;
    got += n;
  }
  CloseHandle(file);
  out->resize(got);
  return result;
}

Fail WriteNewFile(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file);
  const Fail f = ok ? Fail::kNone : LastFail();
  CloseHandle(file);
  if (f != Fail::kNone) DeleteFileW(Wide(path).c_str());
  return f;
}

Fail RemoveFile(const std::string& path) {
  if (DeleteFileW(Wide(path).c_str())) return Fail::kNone;
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return Fail::kNone;
  return FromWinError(err);
}

Fail RenameNoReplace(const std::string& from, const std::string& to) {
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
    return Fail::kNone;
  }
  return LastFail();
}

Fail RenameReplace(const std::string& from, const std::string& to) {
  const std::wstring source = Wide(from), target = Wide(to);
  if (MoveFileExW(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail::kNone;
  }
  // A target that is open cannot be replaced in place, not even when every
  // handle on it allows deleting (the engine's own lock handle on a file it
  // replaces). It can be moved aside and deleted: gone once those handles
  // close. A read-only target stays refused, as Windows refuses it.
  const DWORD err = GetLastError();
  const DWORD attributes = AttributesOf(to);
  if (err != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return FromWinError(err);
  }
  const std::wstring aside = Wide(from + ".replaced");
  if (!MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return LastFail();
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const Fail f = LastFail();
    MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    return f;
  }
  DeleteFileW(aside.c_str());
  return Fail::kNone;
}

void SyncDirectory(const std::string& dir) {
  // The renames wrote through already; flushing the directory's handle
  // commits the entries of new files too where the file system allows it.
  const HANDLE handle = CreateFileW(Wide(dir).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FlushFileBuffers(handle);
  CloseHandle(handle);
}

CoarseClock::time_point CoarseClock::now() noexcept {
  return time_point(std::chrono::milliseconds(GetTickCount64()));  // the last tick, 10 to 16 ms apart
}

uint32_t ProcessId() { return GetCurrentProcessId(); }

bool ProcessRuns(uint32_t pid) {
  if (pid == 0) return true;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

void AtFork(void (*)(), void (*)(), void (*)()) {}  // Windows processes do not fork

void ExitNow(int code) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  for (;;) {
  }
}

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool LockRange(intptr_t handle, bool exclusive, uint64_t offset, uint64_t length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx(AsHandle(handle), flags, 0, static_cast<DWORD>(length),
                    static_cast<DWORD>(length >> 32), &at) != FALSE;
}

bool UnlockRange(intptr_t handle, uint64_t offset, uint64_t length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return UnlockFileEx(AsHandle(handle), 0, static_cast<DWORD>(length),
                      static_cast<DWORD>(length >> 32), &at) != FALSE;
}

// A refused lock is "busy" whatever words the system chose for it.
Fail LockFail() {
  const DWORD err = GetLastError();
  return err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING ? Fail::kBusy : FromWinError(err);
}

}  // namespace

Fail LockHandle::Open(const std::string& path) {
  Close();
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastFail();
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return Fail::kNotRegular;
  }
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  writable_ = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    file = CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Fail::kNotRegular;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return Fail::kNone;
}

bool LockedBySomeone(const std::string& path, uint64_t offset, uint64_t length) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD low = static_cast<DWORD>(length), high = static_cast<DWORD>(length >> 32);
  const bool free = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, low, high, &at) != 0;
  if (free) UnlockFileEx(h, 0, low, high, &at);
  CloseHandle(h);
  return !free;
}

// A 32-bit process has too little address space to map whole files.
int64_t MappedBytesPerFile() { return sizeof(void*) >= 8 ? int64_t{1} << 40 : 0; }

// Windows refuses to cut short a file that is mapped: nothing to guard.
void GuardMappedRange(const void*, size_t) {}
void UnguardMappedRange(const void*) {}

Fail LockHandle::Create(const std::string& path) {
  Close();
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFail();
  handle_ = reinterpret_cast<intptr_t>(file);
  writable_ = true;
  return Fail::kNone;
}

void LockHandle::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));  // releases every lock of the handle
  handle_ = -1;
  claim_ = Claim::kNone;
}

Fail LockHandle::TryClaim(bool exclusive) {
  if (exclusive && !writable_) return Fail::kAccess;
  const Claim want = exclusive ? Claim::kExclusive : Claim::kShared;
  if (claim_ == want) return Fail::kNone;
  // Windows cannot change a lock's kind in place: the old claim goes, the new
  // one is asked for, and on refusal the old one is asked for again.
  if (claim_ != Claim::kNone) UnlockRange(handle_, kClaimOffset, 1);
  if (LockRange(handle_, exclusive, kClaimOffset, 1)) {
    claim_ = want;
    return Fail::kNone;
  }
  const Fail f = LockFail();
  if (claim_ != Claim::kNone &&
      !LockRange(handle_, claim_ == Claim::kExclusive, kClaimOffset, 1)) {
    claim_ = Claim::kNone;
  }
  return f;
}

void LockHandle::DropClaim() {
  if (claim_ != Claim::kNone) UnlockRange(handle_, kClaimOffset, 1);
  claim_ = Claim::kNone;
}

Fail LockHandle::TryLock(uint64_t offset, uint64_t length) {
  if (!writable_) return Fail::kAccess;
  return LockRange(handle_, true, offset, length) ? Fail::kNone : LockFail();
}

void LockHandle::Unlock(uint64_t offset, uint64_t length) { UnlockRange(handle_, offset, length); }

bool LockHandle::HeldElsewhere(uint64_t offset, uint64_t length) {
  // Only exclusive locks are taken on ranges: a shared lock that can be had
  // shows nobody holds one. (A range this handle locks itself counts too.)
  if (!LockRange(handle_, false, offset, length)) return true;
  UnlockRange(handle_, offset, length);
  return false;
}

}  // namespace recman::os
