// The nine keyed reads by number. Point-lat records are brought
// to the current layout whatever the read answered.

#include "numbered/db_number_table.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

int CRecLink::GetRecord(int op, int silent, char const* label, char const* dbnoFormat, int dbno,
                        int keyNum, void* data, void* key) {
  char* slot = GetPos(dbno);
  unsigned int length = GetLen(dbno);
  if (slot == nullptr || length == 0) return DbNoError(dbnoFormat, dbno);

  int status = RECLINK(op, slot, static_cast<char*>(data), &length, static_cast<char*>(key),
                       keyNum);
  if (data != nullptr && reclink::numbered::FindDbNumber(dbno)->IsPointLat()) PointLatConv(data);
  if (status != 0 && status != silent) DB_ErrMessage(dbno, label, static_cast<short>(status));
  return status;
}

int CRecLink::DB_GetEQ(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_EQUAL, B_KEY_VALUE_NOT_FOUND, "BO_GETEQ", "DBGetEQ Proc DBNo Error = %d",
                   dbno, keyNum, data, key);
}

int CRecLink::DB_GetGREQ(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_GE, B_END_OF_FILE, "BO_GETGREQ", "DBGetGREQ Proc DBNo Error = %d", dbno,
                   keyNum, data, key);
}

int CRecLink::DB_GetGR(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_GREATER, B_END_OF_FILE, "BO_GETGR", "DBGetGR Proc DBNo Error = %d", dbno,
                   keyNum, data, key);
}

int CRecLink::DB_GetNEXT(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_NEXT, B_END_OF_FILE, "BO_GETNEXT", "DBGetNEXT Proc DBNo Error = %d", dbno,
                   keyNum, data, key);
}

int CRecLink::DB_GetLESS(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_LESS, B_END_OF_FILE, "BO_GETLESS", "DBGetLESS Proc DBNo Error = %d", dbno,
                   keyNum, data, key);
}

int CRecLink::DB_GetLEEQ(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_LE, B_END_OF_FILE, "BO_GETLESSEQ", "DBGetLESSEQ Proc DBNo Error = %d",
                   dbno, keyNum, data, key);
}

int CRecLink::DB_GetFIRST(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_FIRST, B_END_OF_FILE, "BO_GETFIRST", "DBGetFIRST Proc DBNo Error = %d",
                   dbno, keyNum, data, key);
}

int CRecLink::DB_GetLAST(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_LAST, B_END_OF_FILE, "BO_GETLAST", "DBGetLAST Proc DBNo Error = %d", dbno,
                   keyNum, data, key);
}

int CRecLink::DB_GetPREV(int dbno, int keyNum, void* data, void* key) {
  return GetRecord(B_GET_PREVIOUS, B_END_OF_FILE, "BO_GETPREV", "DBGetPREV Proc DBNo Error = %d",
                   dbno, keyNum, data, key);
}
