#pragma once
// CFile: the file writer of the I/O-error log. Opens without sharing; on Linux
// an exclusive, non-blocking lock on the open file stands for that. Built with
// the host framework, it is the framework's own class.

#include <cstdint>

#include "platform/winapi.h"

#if RECLINK_HOST_FRAMEWORK
#include <afx.h>
#else

struct CFileStatus {
  uint64_t m_size = 0;  // bytes in the file
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareExclusive = 0x0010,
    modeCreate = 0x1000,       // create; truncates unless modeNoTruncate
    modeNoTruncate = 0x2000,   // with modeCreate: keep an existing file's bytes
  };

  CFile() = default;
  ~CFile();  // closes the file when open
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Reads the status of the file at path; FALSE when it cannot be read.
  static BOOL GetStatus(const char* path, CFileStatus& status);
  // Opens path with the flags; FALSE when it cannot be opened or, with
  // shareExclusive, when another open holds it.
  BOOL Open(const char* path, UINT flags);
  // Moves to the end; returns the new position.
  uint64_t SeekToEnd();
  // Writes count bytes; FALSE when not all were written.
  BOOL Write(const void* data, UINT count);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;  // the open descriptor, -1 when closed
};

#endif  // RECLINK_HOST_FRAMEWORK
