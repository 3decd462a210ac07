// The point-lat record upgrade. The current layout has 55 pairs in the table
// at the front where the older one has 50, so every block behind the table
// lies 40 bytes further on; the older layout's last 108 bytes are dropped.

#include "core/point_lat.h"

#include <cstring>

namespace reclink {
namespace {

constexpr int kHeaderBytes = 64;         // prime key and layout mark, same in both layouts
constexpr int kOlderPairs = 50;          // pair-table entries of the older layout
constexpr int kPairTableEnd = 504;       // end of the current layout's 55 pairs
constexpr int kShift = 40;               // the five new pairs

// One run of values that keeps its content and moves from its older offset to
// its current one.
struct Block {
  int older;  // offset in the older layout
  int bytes;  // length of the run
};

// Everything behind the pair table that survives the upgrade. The gaps at
// older 1172 and 2468 and the older tail from 2892 are not moved.
constexpr Block kMovedBlocks[] = {
    {464, 8},          // the double-precision value
    {472, 25 * 4},     // block of 25
    {572, 150 * 4},    // block of 150
    {1176, 200 * 4},   // block of 200
    {1976, 4 * 2},     // four 16-bit values
    {1984, 120 * 4},   // block of 120
    {2464, 2 * 2},     // two 16-bit values
    {2472, 80 * 4},    // block of 80
    {2792, 10 * 4},    // block of 10
    {2832, 15 * 4},    // block of 15
};

}  // namespace

void PointLatConv(void* record) {
  auto* out = static_cast<unsigned char*>(record);
  if (out[kPointLatMarkOffset] == kPointLatCurrent) return;

  unsigned char older[kPointLatRecordLength];
  std::memcpy(older, out, sizeof older);

  std::memset(out + kHeaderBytes, 0, kPairTableEnd - kHeaderBytes);
  for (int i = 0; i < kOlderPairs; ++i) {
    const int at = kHeaderBytes + 8 * i;
    std::memcpy(out + at, older + at, 4);
    std::memcpy(out + at + 4, older + at + 4, 4);
  }
  for (const Block& block : kMovedBlocks) {
    std::memcpy(out + block.older + kShift, older + block.older, block.bytes);
  }
  out[kPointLatMarkOffset] = kPointLatCurrent;
}

}  // namespace reclink
