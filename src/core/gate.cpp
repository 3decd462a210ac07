// The gate RECLINK: the one path from a record object to the record manager
// (GetDBInfo aside). Keeps the status and the EOF flag, logs I/O errors, and
// for the point-lat file marks written records and upgrades read ones.

#include <cstring>

#include "core/io_error_log.h"
#include "core/point_lat.h"
#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/base_rec_link.h"

namespace {

bool WritesRecord(int op) { return op == B_INSERT || op == B_UPDATE; }

// The keyed reads, Get Equal to Get Last; positional reads are not among them.
bool ReadsByKey(int op) { return op >= B_GET_EQUAL && op <= B_GET_LAST; }

}  // namespace

int CBaseRecLink::RECLINK(int op) {
  const bool pointLat = m_dataBuffer != nullptr && m_recordIdent == reclink::kPointLatIdent;
  // What a caller writes is taken to be in the current layout.
  if (pointLat && WritesRecord(op)) reclink::MarkPointLatCurrent(m_dataBuffer);

  const auto keyNumber = static_cast<int8_t>(static_cast<uint8_t>(m_keyNumber & 0xFF));
  m_status = reclink::platform::CallBtrieve(static_cast<uint16_t>(op), m_posBlock, m_dataBuffer,
                                            &m_dataLength, m_keyBuffer, kKeyBufferSize,
                                            keyNumber);

  // Whatever the status: a failed read leaves a buffer that is upgraded too.
  if (pointLat && ReadsByKey(op)) PointLatConv(m_dataBuffer);

  m_eof = m_status == B_END_OF_FILE ? 1 : 0;
  if (m_status == B_IO_ERROR) WriteIoErrorLog();
  return m_status;
}

void CBaseRecLink::WriteIoErrorLog() {
  char drive[_MAX_DRIVE] = {};
  char dir[_MAX_DIR] = {};
  _splitpath(m_filePath, drive, dir, nullptr, nullptr);
  CString logPath;
  logPath.Format("%s%sio_error.txt", drive, dir);
  reclink::AppendIoErrorLine(logPath, m_recordIdent);
}

void CBaseRecLink::PointLatConv(void* record) { reclink::PointLatConv(record); }
