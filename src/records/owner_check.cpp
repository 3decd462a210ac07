// Whether the owner file holds an owner at all.

#include <cstring>

#include "reclink/records/owner.h"

int COwnerDB::IsOwnerValid() {
  std::memset(m_record, 0, sizeof m_record);
  char image[kPrimeKeyLength] = {};
  SetKey(0);
  SetKeyBuffer(image, sizeof image);
  return GetGREQ() == 0 ? 1 : 0;
}
