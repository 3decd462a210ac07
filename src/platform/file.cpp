// CFile: the I/O-error log's file writer.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

CFile::~CFile() { Close(); }

BOOL CFile::GetStatus(const char* path, CFileStatus& status) {
  if (path == nullptr) return FALSE;
#ifdef _WIN32
  struct _stat64 info;
  if (_stat64(path, &info) != 0) return FALSE;
#else
  struct stat info;
  if (stat(reclink::platform::NativePath(path).c_str(), &info) != 0) return FALSE;
#endif
  status.m_size = static_cast<uint64_t>(info.st_size);
  return TRUE;
}

BOOL CFile::Open(const char* path, UINT flags) {
  Close();
  if (path == nullptr) return FALSE;
  int access = (flags & modeReadWrite) != 0 ? O_RDWR : ((flags & modeWrite) != 0 ? O_WRONLY : O_RDONLY);
  bool create = (flags & modeCreate) != 0;
  bool truncate = create && (flags & modeNoTruncate) == 0;
#ifdef _WIN32
  // Windows refuses a shared-out file before it truncates anything.
  // Not inherited: a process started meanwhile must not keep the log held.
  int oflag = access | _O_BINARY | _O_NOINHERIT | (create ? _O_CREAT : 0) |
              (truncate ? _O_TRUNC : 0);
  int share = (flags & shareExclusive) != 0 ? _SH_DENYRW : _SH_DENYNO;
  int fd = -1;
  if (_sopen_s(&fd, path, oflag, share, _S_IREAD | _S_IWRITE) != 0) return FALSE;
  fd_ = fd;
  return TRUE;
#else
  // The file is truncated only after the lock is held, so a refused open never
  // destroys what another writer holds.
  int fd = ::open(reclink::platform::NativePath(path).c_str(),
                  access | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) return FALSE;
  if ((flags & shareExclusive) != 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return FALSE;
  }
  if (truncate && ftruncate(fd, 0) != 0) {
    ::close(fd);
    return FALSE;
  }
  fd_ = fd;
  return TRUE;
#endif
}

uint64_t CFile::SeekToEnd() {
  if (fd_ < 0) return 0;
#ifdef _WIN32
  int64_t at = _lseeki64(fd_, 0, SEEK_END);
#else
  off_t at = ::lseek(fd_, 0, SEEK_END);
#endif
  return at < 0 ? 0 : static_cast<uint64_t>(at);
}

BOOL CFile::Write(const void* data, UINT count) {
  if (fd_ < 0) return FALSE;
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
#ifdef _WIN32
    int n = _write(fd_, bytes, count);
#else
    ssize_t n = ::write(fd_, bytes, count);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return FALSE;
    bytes += n;
    count -= static_cast<UINT>(n);
  }
  return TRUE;
}

void CFile::Close() {
  if (fd_ < 0) return;
#ifdef _WIN32
  _close(fd_);
#else
  ::close(fd_);  // releases the lock as well
#endif
  fd_ = -1;
}
