// Alternate collating sequences: the definitions that follow the key
// specifications of a Create buffer, and the weights by which the bytes of
// a key segment that names one compare.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "reclink/btrieve.h"

namespace recman {

// One sequence, as a file keeps it.
struct Collation {
  std::array<uint8_t, 256> weights;  // the sort weight of every byte value
};

// Reads the definition at bytes (sizeof(BtrAltCollation) of them). Returns
// 0 and the sequence, or 48 when the bytes are not a definition (another
// signature: named international sort rules are not implemented).
inline int ReadCollation(const uint8_t* bytes, std::shared_ptr<const Collation>* out) {
  BtrAltCollation definition;
  std::memcpy(&definition, bytes, sizeof definition);
  if (definition.signature != B_ACS_SIGNATURE) return B_INVALID_ACS;
  auto collation = std::make_shared<Collation>();
  std::memcpy(collation->weights.data(), definition.table, sizeof definition.table);
  *out = std::move(collation);
  return B_NO_ERROR;
}

}  // namespace recman
