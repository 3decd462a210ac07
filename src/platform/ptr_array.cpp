// CPtrArray: a growable array of untyped pointers.
#include "reclink/ptr_array.h"

#include <cstddef>

using std::size_t;

void CPtrArray::SetAtGrow(int index, void* element) {
  if (index < 0) return;
  if (static_cast<size_t>(index) >= slots_.size()) SetSize(index + 1);
  slots_[static_cast<size_t>(index)] = element;
}

void CPtrArray::SetSize(int newSize, int growBy) {
  if (growBy >= 0) growBy_ = growBy;
  if (newSize < 0) newSize = 0;
  size_t wanted = static_cast<size_t>(newSize);
  if (wanted > slots_.capacity() && growBy_ > 0) {
    // Grow in steps of growBy_ slots, as the caller asked.
    size_t steps = (wanted - slots_.capacity() + static_cast<size_t>(growBy_) - 1) /
                   static_cast<size_t>(growBy_);
    slots_.reserve(slots_.capacity() + steps * static_cast<size_t>(growBy_));
  }
  slots_.resize(wanted, nullptr);
}

int CPtrArray::Add(void* element) {
  int index = GetSize();
  SetAtGrow(index, element);
  return index;
}

void CPtrArray::RemoveAll() {
  slots_.clear();
  slots_.shrink_to_fit();
}
