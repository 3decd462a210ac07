// CBaseRecLink: construction, copying, destruction and the plain setters and
// getters. Nothing here calls the record manager but the destructor's Close.

#include <algorithm>
#include <cstring>

#include "reclink/base_rec_link.h"

namespace {

// Fills every field that the non-copy constructors start alike.
void ZeroFill(char* block, char* keyBuffer) {
  std::memset(block, 0, CBaseRecLink::kPositionBlockSize);
  std::memset(keyBuffer, 0, CBaseRecLink::kKeyBufferSize);
}

}  // namespace

CBaseRecLink::CBaseRecLink() : CBaseRecLink(static_cast<char*>(nullptr), nullptr) {}

CBaseRecLink::CBaseRecLink(char* block) : CBaseRecLink(block, nullptr) {}

CBaseRecLink::CBaseRecLink(char const* path) : CBaseRecLink(static_cast<char*>(nullptr), path) {}

CBaseRecLink::CBaseRecLink(char* block, char const* path)
    : m_posBlock(block != nullptr ? block : m_ownBlock),
      m_eof(0),
      m_open(0),
      m_openMode(0),
      m_dataBuffer(nullptr),
      m_dataLength(0),
      m_keyNumber(0),
      m_primeKeyLength(0),
      m_primeKey(nullptr),
      m_filePath(path) {
  ZeroFill(m_ownBlock, m_keyBuffer);
}

// Memberwise on purpose: a copy keeps the source's pointers, its position
// block among them when the source used its own.
CBaseRecLink::CBaseRecLink(const CBaseRecLink& other) = default;
CBaseRecLink& CBaseRecLink::operator=(const CBaseRecLink& other) = default;

CBaseRecLink::~CBaseRecLink() {
  if (m_open != 0) {
    Close();
    m_open = 0;
  }
  m_recordIdent.Empty();
  m_filePath.Empty();
}

void CBaseRecLink::GetPrimeKeyFromBuffer() {}

void CBaseRecLink::SetFilePath(char const* path) { m_filePath = path; }

void CBaseRecLink::SetDataBuffer(char* buffer) { m_dataBuffer = buffer; }

void CBaseRecLink::SetDataLength(int length) { m_dataLength = static_cast<uint32_t>(length); }

unsigned long CBaseRecLink::GetDataLength() const { return m_dataLength; }

void CBaseRecLink::SetKeyLength(int length) { m_keyLength = length; }

int CBaseRecLink::SetKey(int number) {
  m_keyNumber = static_cast<int16_t>(number);  // modular: 65537 becomes 1
  return m_keyNumber;
}

void CBaseRecLink::SetPrimeKey(char* buffer, unsigned long length) {
  m_primeKey = buffer;
  m_primeKeyLength = static_cast<uint32_t>(length);
}

void CBaseRecLink::ClearKeyBuffer() { std::memset(m_keyBuffer, 0, kKeyBufferSize); }

void CBaseRecLink::SetKeyBuffer(char* key, unsigned long length) {
  ClearKeyBuffer();
  m_keyLength = static_cast<int32_t>(length);
  const size_t count = std::min<unsigned long>(length, kKeyBufferSize);
  if (key != nullptr && count > 0) std::memcpy(m_keyBuffer, key, count);
}

unsigned long CBaseRecLink::GetPosition() const { return m_recordPosition; }

void CBaseRecLink::SetPosition(unsigned long position) {
  m_recordPosition = static_cast<uint32_t>(position);
}

int CBaseRecLink::IsOpen() const { return m_open; }

int CBaseRecLink::IsEOF() const { return m_eof; }

int CBaseRecLink::GetOpenMode() const { return m_openMode; }

void CBaseRecLink::SetRecordSetBlock(char* block) { m_posBlock = block; }

void CBaseRecLink::SetRecordIdent(char const* ident) { m_recordIdent = ident; }
