// The object itself: its fields, the number look-ups and the gate.

#include "reclink/rec_link.h"

#include "core/point_lat.h"
#include "numbered/db_number_table.h"
#include "platform/btrieve_entry.h"
#include "reclink/btrieve.h"

static_assert(sizeof(unsigned int) == sizeof(uint32_t), "data lengths are 32 bits");

CRecLink::CRecLink()
    : lastStatus_(0),
      scratch_{},
      scratchLen_(kScratchSize),
      dbDir_{},
      message_{},
      slots_{} {}

CRecLink::~CRecLink() = default;

char* CRecLink::GetPos(int dbno) {
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  return entry != nullptr ? slots_[entry->slot] : nullptr;
}

unsigned int CRecLink::GetLen(int dbno) {
  const reclink::numbered::DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  return entry != nullptr ? entry->RecordLength() : 0;
}

void CRecLink::PointLatConv(void* record) { reclink::PointLatConv(record); }

int CRecLink::RECLINK(int op, char* posBlock, char* data, unsigned int* dataLen, char* key,
                      int keyNum) {
  // Another user's lock is waited out by asking again, without pause or limit.
  int status;
  do {
    status = reclink::platform::CallBtrieve(static_cast<uint16_t>(op), posBlock, data, dataLen,
                                            key, B_MAX_KEY_LENGTH, static_cast<int8_t>(keyNum & 0xFF));
    lastStatus_ = static_cast<int16_t>(status);
  } while (lastStatus_ == B_RECORD_INUSE || lastStatus_ == B_FILE_INUSE);
  return lastStatus_;
}
