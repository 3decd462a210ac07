// The object itself: its fields, the number look-ups and the gate.

#include "reclink/rec_link.h"

#include "core/point_lat.h"
#include "numbered/db_number_table.h"
#include "platform/btrieve_entry.h"

static_assert(sizeof(unsigned int) == sizeof(uint32_t), "data lengths are 32 bits");

namespace {

constexpr int kStatusRecordLocked = 84;
constexpr int kStatusFileLocked = 85;
constexpr uint8_t kKeyLength = 255;  // every call offers the longest key

}  // namespace

CRecLink::CRecLink()
    : lastStatus_(0),
      scratch_{},
      scratchLen_(kScratchSize),
      dbDir_{},
      message_{},
      wkCopy_(nullptr),
      wkKey_(nullptr),
      wkCopyHandle_(nullptr),
      wkKeyHandle_(nullptr),
      slots_{} {}

CRecLink::~CRecLink() = default;

char* CRecLink::GetPos(int dbno) {
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  return entry != nullptr ? slots_[entry->slot] : nullptr;
}

unsigned int CRecLink::GetLen(int dbno) {
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  return entry != nullptr ? entry->recordLength : 0;
}

void CRecLink::PointLatConv(void* record) { reclink::PointLatConv(record); }

int CRecLink::RECLINK(int op, char* posBlock, char* data, unsigned int* dataLen, char* key,
                      int keyNum) {
  // Another user's lock is waited out by asking again, without pause or limit.
  int status;
  do {
    status = reclink::platform::CallBtrieve(static_cast<uint16_t>(op), posBlock, data, dataLen,
                                            key, kKeyLength, static_cast<int8_t>(keyNum & 0xFF));
    lastStatus_ = static_cast<int16_t>(status);
  } while (lastStatus_ == kStatusRecordLocked || lastStatus_ == kStatusFileLocked);
  return lastStatus_;
}
