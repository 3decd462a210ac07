// How a table numbers what it keeps per key: its paths (each key, then
// physical order) and, per path, one slot for each direction. Every backend
// numbers its statements and walks this way.
#pragma once

#include <cstddef>

#include "recman/storage/storage.h"

namespace recman {

// The path of key `key` among `keys` keys; physical order (key -1) is last.
inline size_t PathOf(int key, size_t keys) { return key < 0 ? keys : static_cast<size_t>(key); }

// The slot of path `path` taken one way or the other (forward or backward,
// all or those before): two slots per path.
inline size_t DirectedSlot(size_t path, bool second) { return path * 2 + (second ? 1 : 0); }
// How many directed slots `keys` keys and physical order take.
inline size_t DirectedSlots(size_t keys) { return (keys + 1) * 2; }

// The slot of a seek along key `key`: kSeekCount slots per key.
inline size_t SeekSlot(size_t key, Seek seek) { return key * kSeekCount + static_cast<size_t>(seek); }
// How many seek slots `keys` keys take.
inline size_t SeekSlots(size_t keys) { return keys * kSeekCount; }

}  // namespace recman
