#pragma once
// CBaseRecLink: one record file seen through one position block. Holds the
// position block (or points at a shared one), the key buffer and key number,
// the record bytes it is pointed at, the prime key, the last status and the
// names that identify the file in messages. Every record-manager call but
// GetDBInfo passes the gate RECLINK.

#include <cstdint>

#include "reclink/btrieve.h"
#include "reclink/cstring.h"
#include "reclink/reclink_export.h"

// The open mode given to Open; passed to the record manager unchanged.
enum BtrOpenMode : int {
  BTR_OPEN_NORMAL = B_MODE_NORMAL,
  BTR_OPEN_ACCELERATED = B_MODE_ACCELERATED,
  BTR_OPEN_READONLY = B_MODE_READ_ONLY,
  BTR_OPEN_VERIFY = B_MODE_VERIFY,
  BTR_OPEN_EXCLUSIVE = B_MODE_EXCLUSIVE,
};

// The Stat result: a file specification, then the key specifications.
struct FileDescriptionType {
  BtrFileSpec fileSpec;    // record length, page size, keys, records ...
  BtrKeySpec keySpec[119];  // one per key segment, segments of a key consecutive
};
static_assert(sizeof(FileDescriptionType) == 1920, "Stat buffer is 1920 bytes");

class RECLINK_EXPORT CBaseRecLink {
 public:
  static constexpr int kPositionBlockSize = 128;
  static constexpr int kKeyBufferSize = 255;

  // Constructors zero the own position block and the key buffer. block: an
  // external position block of at least 128 bytes that outlives this object
  // (nullptr = the own block). path: the record file, copied.
  CBaseRecLink();
  CBaseRecLink(char* block);
  CBaseRecLink(char const* path);
  CBaseRecLink(char* block, char const* path);
  // Memberwise: pointers are copied as they are, so a copy works on the
  // source's position block and buffers and must not outlive the source.
  CBaseRecLink(const CBaseRecLink& other);
  CBaseRecLink& operator=(const CBaseRecLink& other);
  // Closes the file when the open flag is set.
  virtual ~CBaseRecLink();

  // Copies the prime key of the record in the data buffer into the prime-key
  // buffer. Does nothing here; record classes override it. Update calls it.
  virtual void GetPrimeKeyFromBuffer();

  // --- setters and getters; none fails or reports ---
  void SetFilePath(char const* path);                    // copies path
  void SetDataBuffer(char* buffer);                      // not owned; >= data length bytes
  void SetDataLength(int length);
  unsigned long GetDataLength() const;
  void SetKeyLength(int length);                         // recorded only; never sent
  int SetKey(int number);                                // stores 16 bits, returns them sign-extended
  void SetPrimeKey(char* buffer, unsigned long length);  // not owned
  void ClearKeyBuffer();
  void SetKeyBuffer(char* key, unsigned long length);    // length <= 255
  unsigned long GetPosition() const;
  void SetPosition(unsigned long position);
  int IsOpen() const;
  int IsEOF() const;
  int GetOpenMode() const;
  void SetRecordSetBlock(char* block);                   // >= 128 bytes, not null, outlives use

  // --- operations; each returns the status (0 success) unless stated ---
  int Open(BtrOpenMode mode);  // 0, or -1 after its box
  void Close();
  int BeginTran();             // 0, or -1 after its box
  int EndTran();               // 0, or -1 after its box
  int AbortTran();
  void Stop();
  int ResetBtrv();
  int GetRecordPosition();
  int GetDirect();             // -1 without a data buffer
  int GetByPosition(unsigned long position);
  int Insert();
  int Update();
  int Delete();
  int GetEQ();
  int GetNEXT();
  int GetPREV();
  int GetGR();
  int GetGREQ();
  int GetLESS();
  int GetLEEQ();
  int GetFIRST();
  int GetLAST();
  // Stat into info (>= 1920 bytes); bypasses the gate: no box, no log, EOF kept.
  int GetDBInfo(FileDescriptionType* info);

  // Shows the system's text for the thread's last error in a box with the stop icon.
  void GetLastErrMessage();

  // Read access for the record classes and for diagnostics.
  int GetLastStatus() const { return m_status; }
  const CString& GetRecordIdent() const { return m_recordIdent; }
  const CString& GetFilePath() const { return m_filePath; }
  char* GetKeyBuffer() { return m_keyBuffer; }
  int GetKeyNumber() const { return m_keyNumber; }

 protected:
  void SetRecordIdent(char const* ident);
  // For an operation of a record class that fails on its own account: makes
  // status the last status, shows the error box with label and returns status.
  int Fail(int status, char const* label);

 private:
  int RECLINK(int op);
  void DB_ErrMessage(char const* label);
  CString GetErrorMessage(int status);
  void WriteIoErrorLog();
  int GetOperation(int op, int silentStatus, char const* label);
  static void PointLatConv(void* record);

  char m_ownBlock[kPositionBlockSize];  // position block owned by the object
  char* m_posBlock;                     // the block every call passes
  uint32_t m_recordPosition = 0;        // physical position of the current record
  int32_t m_eof;                        // 1 when the last gated call returned 9
  int32_t m_open;                       // 1 after a successful Open
  int32_t m_status = 0;                 // status of the last call
  int32_t m_openMode;                   // mode given to the last Open
  char* m_dataBuffer;                   // record bytes passed to the manager; not owned
  uint32_t m_dataLength;                // length passed by address, rewritten by Gets
  int16_t m_keyNumber;                  // key path; low 8 bits reach the manager
  char m_keyBuffer[kKeyBufferSize];     // key passed to every call, rewritten by Gets
  int32_t m_keyLength = 0;              // recorded by SetKeyLength / SetKeyBuffer only
  uint32_t m_primeKeyLength;            // bytes of the prime key
  char* m_primeKey;                     // the record class's prime-key buffer; not owned
  CString m_recordIdent;                // e.g. "PATIENT_DB"; boxes, log, point-lat test
  CString m_filePath;                   // full path of the record file
};
