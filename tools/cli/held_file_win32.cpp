// Held files on Windows: open handles that share nothing but reading, and a
// lock file that goes when its handle closes. Paths are in the ANSI code
// page, as the command line gives them.
#include <windows.h>
#undef CreateFile  // <windows.h>'s macro for CreateFileA would rename HeldFile::CreateFile

#include <algorithm>
#include <filesystem>

#include "cli/held_file.h"

namespace fs = std::filesystem;

namespace reclink::cli {

namespace {

constexpr char kDirectoryLock[] = "\\.reclink-lock";  // in a held directory

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The system's words for err, as UTF-8 without the closing line break.
std::string Reason(DWORD err) {
  wchar_t wide[512] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
                           wide, 512, nullptr);
  while (n > 0 && (wide[n - 1] == L'\n' || wide[n - 1] == L'\r' || wide[n - 1] == L' ')) --n;
  if (n == 0) return "system error " + std::to_string(err);
  std::string text(static_cast<size_t>(n) * 3, '\0');
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), text.data(),
                                        static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return text;
}

// Opens the lock file of directory dir with no sharing, made if missing and
// deleted when the handle closes: fails while another holds it.
HANDLE OpenDirectoryLock(const std::string& dir, DWORD disposition) {
  return ::CreateFileA((dir + kDirectoryLock).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

}  // namespace

bool HeldFile::CreateFile(const std::string& path, std::string* error) {
  Release();
  // Others may read it while it is held, nothing more.
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return Hold(reinterpret_cast<intptr_t>(file), path, error);
}

bool HeldFile::HoldDirectory(const std::string& dir, bool* busy, std::string* error) {
  Release();
  const std::string lockPath = dir + kDirectoryLock;
  const HANDLE lock = OpenDirectoryLock(dir, OPEN_ALWAYS);
  *busy = lock == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  return Hold(reinterpret_cast<intptr_t>(lock), lockPath, error);
}

bool HeldFile::Hold(intptr_t handle, const std::string& path, std::string* error) {
  if (handle == reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE)) {
    *error = Reason(GetLastError());
    return false;
  }
  handle_ = handle;
  path_ = path;
  return true;
}

bool HeldFile::OpenDevice(const std::string& path, bool* device, std::string*) {
  Release();
  // Opening it tells what it is; an existing file opened this way is left as
  // it was. What cannot be opened goes the way of a file, which fails then.
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  *device = file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK;
  if (!*device) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool HeldFile::Write(const std::string& bytes, std::string* error) {
  for (size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(AsHandle(handle_), bytes.data() + done, chunk, &n, nullptr)) {
      *error = Reason(GetLastError());
      return false;
    }
    done += n;
  }
  return true;
}

bool HeldFile::CommitAs(const std::string& finalPath, std::string* error) {
  if (!FlushFileBuffers(AsHandle(handle_))) {
    *error = Reason(GetLastError());
    return false;
  }
  // An open file cannot be renamed over another: let go first.
  const std::string path = path_;
  Release();
  if (!MoveFileExA(path.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = Reason(GetLastError());
    return false;
  }
  return true;
}

bool HeldFile::Close(std::string* error) {
  const bool closed = CloseHandle(AsHandle(handle_)) != FALSE;
  if (!closed) *error = Reason(GetLastError());
  handle_ = -1;
  return closed;
}

void HeldFile::Release() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
  path_.clear();
}

bool RemoveUnlessHeld(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const HANDLE lock = OpenDirectoryLock(path, OPEN_EXISTING);
    if (lock == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    std::error_code removal;
    return fs::remove_all(path, removal) != 0 && !removal;
  }
  // Opened for deleting only when no holder denies it; deleted as it closes.
  const HANDLE file =
      ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessRuns(uint32_t pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

}  // namespace reclink::cli
