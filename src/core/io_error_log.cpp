// The I/O-error log writer: one dated line per I/O error, the file re-created
// once it has reached its size limit. Opened and closed for every line.

#include "core/io_error_log.h"

#include <string>

#include "platform/file.h"
#include "platform/winapi.h"

namespace reclink {

void AppendIoErrorLine(const char* logPath, const char* ident) {
  const std::string path = platform::NativePath(logPath);

  CFileStatus status;
  const bool keep = CFile::GetStatus(path.c_str(), status) != FALSE &&
                    status.m_size < kIoErrorLogLimit;
  const UINT flags = keep ? CFile::modeWrite | CFile::shareExclusive
                          : CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;

  CFile file;
  if (file.Open(path.c_str(), flags) == FALSE) return;  // held by another writer, or no access
  file.SeekToEnd();

  CString line;
  line.Format("%s : %s\r\n", LocalDateString().GetString(), ident != nullptr ? ident : "");
  // A failed write is not caught: the line is simply lost.
  file.Write(line.GetString(), static_cast<UINT>(line.GetLength()));
  file.Close();
}

}  // namespace reclink
