#pragma once
// Access to the private steps and fields of CRecLink for the tests.

#include "reclink/rec_link.h"

class CRecLinkPeer {
 public:
  static char* GetPos(CRecLink& r, int dbno) { return r.GetPos(dbno); }
  static unsigned int GetLen(CRecLink& r, int dbno) { return r.GetLen(dbno); }
  static int LastDelimAdd(CRecLink& r, char* path) { return r.LastDelimAdd(path); }
  static void LockWkBuf(CRecLink& r, int dbno, void* record) { r.LockWkBuf(dbno, record); }
  static void FreeWkBuf(CRecLink& r) { r.FreeWkBuf(); }
  static const char* WorkCopy(const CRecLink& r) { return static_cast<const char*>(r.wkCopy_); }
  static const char* WorkKey(const CRecLink& r) { return static_cast<const char*>(r.wkKey_); }
  static const char* Slot(const CRecLink& r, int index) { return r.slots_[index]; }
};
