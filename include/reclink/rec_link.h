#pragma once
// CRecLink: the whole database seen by number. One object holds a position
// block for each of the 32 numbered record files (10, 110 to 360 and 450 to
// 490 in steps of 10), reads its directory from the application's profile,
// and reads and writes records by number through its own gate, which repeats
// a call while the record or file is locked. Failures show a box captioned
// "RecLinkDLL ERROR"; an I/O error is also logged in the database directory.

#include <cstdint>

#include "reclink/reclink_export.h"

class RECLINK_EXPORT CRecLink {
 public:
  static constexpr int kSlotCount = 32;          // position blocks, one per number
  static constexpr int kPositionBlockSize = 128;  // bytes of one position block
  static constexpr int kScratchSize = 256;        // bytes of the scratch block
  static constexpr int kDirectorySize = 100;      // bytes of the directory text
  static constexpr int kMessageSize = 256;        // bytes of the message text
  static constexpr unsigned int kStatLength = 40980;  // bytes DB_Stat offers the record manager

  // Zeroes every field and sets the scratch length to 256. Opens nothing.
  CRecLink();
  // Closes nothing and releases nothing: DB_Close / DB_Stop are the caller's.
  ~CRecLink();
  // Byte for byte: position blocks and directory text included.
  CRecLink(const CRecLink& other) = default;
  CRecLink& operator=(const CRecLink& other) = default;

  // --- the gate and its box ---

  // Calls the record manager with key length 255 and the low byte of keyNum,
  // again and again while it answers 84 or 85. Keeps the status in the last
  // status field and returns it as a signed 16-bit value. Buffers are the
  // caller's and must be as large as the operation needs.
  int RECLINK(int op, char* posBlock, char* data, unsigned int* dataLen, char* key, int keyNum);
  // Shows "<ident> <label> Status = <status>" captioned "RecLinkDLL ERROR";
  // status 2 also appends a line to the I/O-error log of the directory text.
  // label: at most 12 characters.
  void DB_ErrMessage(int dbno, char const* label, short status);

  // --- opening and closing ---

  // Reads the directory from the profile, then opens the number's file in
  // mode (0 normal, negative: the record manager's other modes). Returns 0,
  // the record manager's status after its box, or -1 for a number without a
  // file (10 included) after the unknown-number box.
  int DB_Open(int dbno, int mode);
  // Opens the file at path (full path, zero-terminated) into dbno's slot, in
  // mode 0; any known number, 10 included. Returns 0, the status after its
  // box, or -1 for an unknown number after the unknown-number box.
  int DB_Open(char const* path, int dbno);
  // Closes the number's slot; reports nothing. An unknown number does nothing.
  void DB_Close(int dbno);
  // Reset, then Stop: ends the use of the record manager; reports nothing.
  void DB_Stop();

  // --- reads: data must hold the number's record length, key the whole key
  // of keyNum (the record manager reads and rewrites it). Each returns the
  // status, or -1 for an unknown number. Silent: 0 and 4 for DB_GetEQ, 0 and
  // 9 for the others; any other status shows the box. Records of number 140
  // arrive in the current point-lat layout. ---
  int DB_GetEQ(int dbno, int keyNum, void* data, void* key);
  int DB_GetGREQ(int dbno, int keyNum, void* data, void* key);
  int DB_GetGR(int dbno, int keyNum, void* data, void* key);
  int DB_GetNEXT(int dbno, int keyNum, void* data, void* key);
  int DB_GetLESS(int dbno, int keyNum, void* data, void* key);
  int DB_GetLEEQ(int dbno, int keyNum, void* data, void* key);
  int DB_GetFIRST(int dbno, int keyNum, void* data, void* key);
  int DB_GetLAST(int dbno, int keyNum, void* data, void* key);
  int DB_GetPREV(int dbno, int keyNum, void* data, void* key);

  // --- writes: data is the caller's record, at least the record length, and
  // is only read. The stored record is found by key 0 built from data. Each
  // returns the status, or -1 for an unknown number. ---

  // Inserts a copy of data (marked current layout for 140). Silent: 0, 5.
  int DB_Insert(int dbno, void* data);
  // Replaces the stored record of data's key 0 by data; re-reads and retries
  // while another user changed it (80). Silent: 0, 4.
  int DB_Update(int dbno, void* data);
  // Deletes the stored record of data's key 0, retrying on 80. Silent: 0, 4.
  int DB_Delete(int dbno, void* data);
  // Fills data (kStatLength bytes offered) with the file's statistics. Silent: 0, 9.
  int DB_Stat(int dbno, void* data);

  // --- transactions: address no file ---

  // 0, or -1 after the "BO_BEGIN" box.
  int Begin_Tran();
  // 0, or -1 after the "BO_ENDTRAN" box.
  int End_Tran();
  // Reports nothing; the status stays in the last status field.
  void Abort_Tran();

  // Status of the last call made through the gate.
  int GetLastStatus() const { return lastStatus_; }

 private:
  char* GetPos(int dbno);
  unsigned int GetLen(int dbno);
  void GetIniFile();
  int LastDelimAdd(char* path);
  static void PointLatConv(void* record);

  // Shows the unknown-number box built from format and dbno; returns -1.
  int DbNoError(char const* format, int dbno);
  // Steps 4 to 8 of an open: short path, owner block, Open, box.
  int OpenSlot(char const* longPath, int dbno, int mode);
  // One keyed read: code, silent status, label and unknown-number text.
  int GetRecord(int op, int silent, char const* label, char const* dbnoFormat, int dbno,
                int keyNum, void* data, void* key);
  // Insert (op 2) of data, or Update (op 3) or Delete (op 4) of the record
  // stored under data's key 0, through the work copy and work key.
  int WriteRecord(int op, char const* label, char const* dbnoFormat, int dbno, void* data);

  int16_t lastStatus_;                           // status of the last gate call
  char scratch_[kScratchSize];                   // block, data and key of file-less calls
  uint32_t scratchLen_;                          // data length passed with the scratch block
  char dbDir_[kDirectorySize];                   // database directory, ending in a delimiter
  char message_[kMessageSize];                   // unknown-number text; long path of an open
  char slots_[kSlotCount][kPositionBlockSize];   // one position block per number
};
