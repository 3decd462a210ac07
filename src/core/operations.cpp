// The public operations of CBaseRecLink. Each passes the gate, decides which
// statuses are failures, shows the error box for those and returns a result.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/btrieve_entry.h"
#include "platform/winapi.h"
#include "reclink/base_rec_link.h"

namespace {

constexpr int kShortPathBuffer = 260;             // zeroed buffer for the short path
constexpr DWORD kShortPathChars = 259;            // size announced to the system
constexpr int kLongestKeyPath = 254;              // with its zero, fills the key buffer
constexpr uint32_t kStatBufferLength = 1920;      // sizeof(FileDescriptionType)

}  // namespace

int CBaseRecLink::Open(BtrOpenMode mode) {
  char shortPath[kShortPathBuffer] = {};
  // Not tested: a missing file leaves the name empty and the manager decides.
  const DWORD shortLength = GetShortPathNameA(m_filePath, shortPath, kShortPathChars);

  char savedKey[kKeyBufferSize];
  std::memcpy(savedKey, m_keyBuffer, kKeyBufferSize);
  const int16_t savedKeyNumber = m_keyNumber;

  m_openMode = mode;
  m_keyNumber = static_cast<int16_t>(mode);
  if (shortLength > static_cast<DWORD>(kLongestKeyPath)) {
    // The name would not fit the key buffer: refused as an invalid file name
    // without asking the manager.
    m_status = B_FILENAME_BAD;
  } else {
    std::memcpy(m_keyBuffer, shortPath, std::strlen(shortPath) + 1);
    RECLINK(B_OPEN);
  }

  std::memcpy(m_keyBuffer, savedKey, kKeyBufferSize);
  m_keyNumber = savedKeyNumber;
  m_open = m_status == B_NO_ERROR ? 1 : 0;
  if (m_status != B_NO_ERROR) {
    DB_ErrMessage("BO_OPEN");
    return -1;
  }
  return 0;
}

void CBaseRecLink::Close() {
  m_status = RECLINK(B_CLOSE);
  m_open = 0;
  m_recordPosition = 0;
}

int CBaseRecLink::BeginTran() {
  if (RECLINK(B_BEGIN_TRAN) != B_NO_ERROR) {
    DB_ErrMessage("BO_BEGINTRAN");
    return -1;
  }
  return 0;
}

int CBaseRecLink::EndTran() {
  if (RECLINK(B_END_TRAN) != B_NO_ERROR) {
    DB_ErrMessage("BO_ENDTRAN");
    return -1;
  }
  return 0;
}

int CBaseRecLink::AbortTran() { return RECLINK(B_ABORT_TRAN); }

void CBaseRecLink::Stop() {
  RECLINK(B_RESET);
  RECLINK(B_STOP);
}

int CBaseRecLink::ResetBtrv() { return RECLINK(B_RESET); }

int CBaseRecLink::GetRecordPosition() {
  char* const savedBuffer = m_dataBuffer;
  const uint32_t savedLength = m_dataLength;

  unsigned char position[4] = {};
  m_dataBuffer = reinterpret_cast<char*>(position);
  m_dataLength = sizeof position;
  RECLINK(B_GET_POSITION);
  m_recordPosition = m_status == B_NO_ERROR
                         ? static_cast<uint32_t>(position[0]) |
                               static_cast<uint32_t>(position[1]) << 8 |
                               static_cast<uint32_t>(position[2]) << 16 |
                               static_cast<uint32_t>(position[3]) << 24
                         : 0;

  m_dataBuffer = savedBuffer;
  m_dataLength = savedLength;
  return m_status;
}

int CBaseRecLink::GetDirect() {
  if (m_dataBuffer == nullptr) return -1;
  for (int i = 0; i < 4; ++i) {
    m_dataBuffer[i] = static_cast<char>((m_recordPosition >> (8 * i)) & 0xFF);
  }
  return RECLINK(B_GET_DIRECT);
}

int CBaseRecLink::GetByPosition(unsigned long position) {
  SetPosition(position);
  return GetDirect();
}

int CBaseRecLink::Insert() {
  m_keyNumber = 0;
  RECLINK(B_INSERT);
  if (m_status != B_NO_ERROR && m_status != B_DUPLICATE_KEY_VALUE) DB_ErrMessage("BO_INSERT");
  return m_status;
}

int CBaseRecLink::Update() {
  m_keyNumber = 0;
  GetPrimeKeyFromBuffer();

  const std::vector<char> record(m_dataBuffer, m_dataBuffer + (m_dataBuffer ? m_dataLength : 0));
  ClearKeyBuffer();
  if (m_primeKey != nullptr) {
    std::memcpy(m_keyBuffer, m_primeKey, std::min<size_t>(m_primeKeyLength, kKeyBufferSize));
  }

  // Re-read by prime key: makes the stored record the current one. When that
  // fails, the buffer keeps what the failed read left in it.
  if (RECLINK(B_GET_EQUAL) == B_NO_ERROR) {
    if (m_dataBuffer != nullptr) {
      std::memcpy(m_dataBuffer, record.data(), std::min<size_t>(m_dataLength, record.size()));
    }
    RECLINK(B_UPDATE);
  }

  if (m_status != B_NO_ERROR && m_status != B_KEY_VALUE_NOT_FOUND &&
      m_status != B_END_OF_FILE) {
    DB_ErrMessage("BO_UPDATE");
  }
  return m_status;
}

int CBaseRecLink::Delete() {
  RECLINK(B_DELETE);
  if (m_status != B_NO_ERROR && m_status != B_END_OF_FILE) DB_ErrMessage("BO_DELETE");
  return m_status;
}

int CBaseRecLink::GetOperation(int op, int silentStatus, char const* label) {
  if (RECLINK(op) == B_NO_ERROR) GetRecordPosition();
  if (m_status != B_NO_ERROR && m_status != silentStatus) DB_ErrMessage(label);
  return m_status;
}

int CBaseRecLink::GetEQ() { return GetOperation(B_GET_EQUAL, B_KEY_VALUE_NOT_FOUND, "BO_GETEQ"); }
int CBaseRecLink::GetNEXT() { return GetOperation(B_GET_NEXT, B_END_OF_FILE, "BO_GETNEXT"); }
int CBaseRecLink::GetPREV() { return GetOperation(B_GET_PREVIOUS, B_END_OF_FILE, "BO_GETPREV"); }
int CBaseRecLink::GetGR() { return GetOperation(B_GET_GREATER, B_END_OF_FILE, "BO_GETGREATER"); }
int CBaseRecLink::GetGREQ() { return GetOperation(B_GET_GE, B_END_OF_FILE, "BO_GETGREQ"); }
int CBaseRecLink::GetLESS() { return GetOperation(B_GET_LESS, B_END_OF_FILE, "BO_GETLESS"); }
int CBaseRecLink::GetLEEQ() { return GetOperation(B_GET_LE, B_END_OF_FILE, "BO_GETLESSEQ"); }
int CBaseRecLink::GetFIRST() { return GetOperation(B_GET_FIRST, B_END_OF_FILE, "BO_GETFIRST"); }
int CBaseRecLink::GetLAST() { return GetOperation(B_GET_LAST, B_END_OF_FILE, "BO_GETLAST"); }

int CBaseRecLink::GetDBInfo(FileDescriptionType* info) {
  const uint32_t savedLength = m_dataLength;
  m_dataLength = kStatBufferLength;
  const int status = reclink::platform::CallBtrieve(B_STAT, m_posBlock, info, &m_dataLength,
                                                    m_keyBuffer, kKeyBufferSize, 0);
  m_dataLength = savedLength;
  m_status = status;
  return m_status;
}
