// Whether the owner file holds an owner at all.

#include <cstring>

#include "reclink/records/owner.h"
#include "records/record_ops.h"

int COwnerDB::IsOwnerValid() {
  std::memset(m_record, 0, sizeof m_record);
  reclink::records::SelectKey(*this, 0, kRow.keys[0], nullptr, 0);
  return GetGREQ() == 0 ? 1 : 0;
}
