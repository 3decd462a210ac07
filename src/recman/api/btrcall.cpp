// The entry points: decode the operation code, find the operation in one
// table, and run it for the calling client. No exception leaves here.
#include <cstdint>
#include <cstring>
#include <new>

#include "recman/api/call.h"
#include "recman/engine/lock_wait.h"
#include "recman/api/reason.h"
#include "recman/storage/locate.h"

namespace recman {
namespace {

using OpFn = int (*)(Engine&, Call&);

// One row per operation code.
struct OpRow {
  uint16_t op;    // operation code without biases
  OpFn fn;        // what runs it
  bool lockBias;  // accepts the record-lock biases (+100..+400)
  bool keyBias;   // accepts the Get Key bias (+50)
};

constexpr OpRow kOps[] = {
    {B_OPEN, OpOpen, false, false},
    {B_CLOSE, OpClose, false, false},
    {B_INSERT, OpInsert, false, false},
    {B_UPDATE, OpUpdate, false, false},
    {B_DELETE, OpDelete, false, false},
    {B_GET_EQUAL, OpGet, true, true},
    {B_GET_NEXT, OpGet, true, true},
    {B_GET_PREVIOUS, OpGet, true, true},
    {B_GET_GREATER, OpGet, true, true},
    {B_GET_GE, OpGet, true, true},
    {B_GET_LESS, OpGet, true, true},
    {B_GET_LE, OpGet, true, true},
    {B_GET_FIRST, OpGet, true, true},
    {B_GET_LAST, OpGet, true, true},
    {B_CREATE, OpCreate, false, false},
    {B_STAT, OpStat, false, false},
    {B_SET_DIRECTORY, OpSetDirectory, false, false},
    {B_GET_DIRECTORY, OpGetDirectory, false, false},
    {B_BEGIN_TRAN, OpBegin, true, false},
    {B_END_TRAN, OpEnd, false, false},
    {B_ABORT_TRAN, OpAbort, false, false},
    {B_GET_POSITION, OpGetPosition, false, false},
    {B_GET_DIRECT, OpGetDirect, true, false},
    {B_STEP_NEXT, OpStep, true, false},
    {B_STOP, OpReset, false, false},
    {B_VERSION, OpVersion, false, false},
    {B_UNLOCK, OpUnlock, false, false},
    {B_RESET, OpReset, false, false},
    {B_STEP_FIRST, OpStep, true, false},
    {B_STEP_LAST, OpStep, true, false},
    {B_STEP_PREVIOUS, OpStep, true, false},
    {B_GET_NEXT_EXTENDED, OpExtended, false, false},
    {B_GET_PREV_EXTENDED, OpExtended, false, false},
    {B_STEP_NEXT_EXTENDED, OpExtended, false, false},
    {B_STEP_PREV_EXTENDED, OpExtended, false, false},
    {B_INSERT_EXTENDED, OpInsertExtended, false, false},
    {B_SET_OWNER, OpSetOwner, false, false},
    {B_CLEAR_OWNER, OpClearOwner, false, false},
    {B_CREATE_INDEX, OpCreateIndex, false, false},
    {B_DROP_INDEX, OpDropIndex, false, false},
    {B_CONTINUOUS, OpContinuous, false, false},
    {B_GET_BY_PERCENTAGE, OpGetByPercentage, true, false},
    {B_FIND_PERCENTAGE, OpFindPercentage, false, false},
};

// The rows of kOps by operation code (null: no such operation), made once.
struct OpIndex {
  const OpRow* byCode[B_GET_KEY] = {};  // codes below the Get Key bias
  OpIndex() {
    for (const OpRow& row : kOps) byCode[row.op] = &row;
  }
};

// Splits a code into the operation and its biases; null when unknown.
const OpRow* Decode(uint16_t code, Call* call) {
  static const OpIndex index;
  // A concurrent Begin is taken as Begin, with its lock bias and its
  // no-retry bias.
  if (code >= B_BEGIN_CONCURRENT && code % 100 == B_BEGIN_TRAN) {
    code -= B_BEGIN_CONCURRENT - B_BEGIN_TRAN;
    call->noRetry = code >= B_NO_RETRY + B_BEGIN_TRAN;
    if (call->noRetry) code -= B_NO_RETRY;
  }
  const unsigned lockBias = code / 100;
  unsigned rest = code % 100;
  if (lockBias > 4) return nullptr;
  bool keyOnly = false;
  if (rest >= B_GET_KEY) {
    keyOnly = true;
    rest -= B_GET_KEY;
  }
  const OpRow* row = index.byCode[rest];
  if (row == nullptr || (lockBias != 0 && !row->lockBias) || (keyOnly && !row->keyBias)) return nullptr;
  call->op = row->op;
  call->keyOnly = keyOnly;
  call->lockBias = static_cast<uint16_t>(lockBias * 100);
  return row;
}

}  // namespace

// Runs one call for the client named clientKey (all zero: the process).
int Dispatch(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key, uint8_t keyLen,
             int8_t keyNum, const ClientKey& clientKey) {
  ClearReason();
  Call call{0, false, 0, false, posBlock, data, dataLen, key, keyLen, keyNum, nullptr};
  const OpRow* row = Decode(op, &call);
  if (row == nullptr) return B_INVALID_FUNCTION;
  try {
    Engine& engine = Engine::Instance();
    static const ClientKey kProcess{};
    call.client = clientKey == kProcess ? engine.ProcessClient().get() : engine.ClientFor(clientKey).get();
    // In a transaction begun with a lock bias, reads that ask for no lock
    // take that one.
    if (row->lockBias && call.lockBias == 0 && call.client->inTransaction) {
      call.lockBias = call.client->defaultLockBias;
    }
    return row->fn(engine, call);
  } catch (const std::bad_alloc&) {
    return B_IO_ERROR;
  } catch (...) {
    return B_IO_ERROR;
  }
}

namespace {

// The client a client-id entry point names: its 16 bytes; none is the
// process's own.
ClientKey KeyOf(const void* clientId) {
  ClientKey key{};
  if (clientId != nullptr) std::memcpy(key.data(), clientId, key.size());
  return key;
}

// The older entry point's call: a 16-bit data length and a key number of
// the caller's int, the key buffer taken to hold the longest key.
int DispatchShort(uint16_t op, void* posBlock, void* data, uint16_t* dataLen, void* key, int16_t keyNum,
                  const ClientKey& clientKey) {
  if (keyNum < INT8_MIN || keyNum > INT8_MAX) return B_INVALID_KEYNUMBER;
  uint32_t length = dataLen != nullptr ? *dataLen : 0;
  const int status = Dispatch(op, posBlock, data, dataLen != nullptr ? &length : nullptr, key,
                              B_MAX_KEY_LENGTH, static_cast<int8_t>(keyNum), clientKey);
  if (dataLen != nullptr) *dataLen = static_cast<uint16_t>(length > UINT16_MAX ? UINT16_MAX : length);
  return status;
}

}  // namespace

}  // namespace recman

extern "C" int RECMAN_CALL BTRCALL(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                       uint8_t keyLen, int8_t keyNum) {
  static const recman::ClientKey kProcess{};
  return recman::Dispatch(op, posBlock, data, dataLen, key, keyLen, keyNum, kProcess);
}

extern "C" int RECMAN_CALL BTRCALLID(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                                     uint8_t keyLen, int8_t keyNum, const void* clientId) {
  return recman::Dispatch(op, posBlock, data, dataLen, key, keyLen, keyNum, recman::KeyOf(clientId));
}

extern "C" int RECMAN_CALL BTRV(uint16_t op, void* posBlock, void* data, uint16_t* dataLen, void* key,
                                int16_t keyNum) {
  static const recman::ClientKey kProcess{};
  return recman::DispatchShort(op, posBlock, data, dataLen, key, keyNum, kProcess);
}

extern "C" int RECMAN_CALL BTRVID(uint16_t op, void* posBlock, void* data, uint16_t* dataLen, void* key,
                                  int16_t keyNum, const void* clientId) {
  return recman::DispatchShort(op, posBlock, data, dataLen, key, keyNum, recman::KeyOf(clientId));
}

extern "C" int RECMAN_CALL WBTRVINIT(char*) { return B_NO_ERROR; }

extern "C" int RECMAN_CALL WBRQSHELLINIT(char*) { return B_NO_ERROR; }

extern "C" int RECMAN_CALL WBTRVSTOP(void) {
  char posBlock[B_POSITION_BLOCK_SIZE] = {};
  uint32_t length = 0;
  return BTRCALL(B_STOP, posBlock, nullptr, &length, nullptr, 0, 0);
}

extern "C" void BtrSetLockTimeout(uint32_t milliseconds) { recman::SetLockTimeoutMs(milliseconds); }

extern "C" void BtrSetMemoryBudget(uint32_t kibibytes) {
  for (recman::Backend* backend : recman::AllBackends()) backend->SetMemoryBudgetKiB(kibibytes);
}
