#pragma once
// CPtrArray: a growable array of untyped pointers. The array owns its slots,
// never what they point at. Built with the host framework
// (RECLINK_USE_HOST_FRAMEWORK), it is the framework's own class instead.

#include "reclink/reclink_export.h"

#if RECLINK_HOST_FRAMEWORK
#include <afxcoll.h>
#else

#include <cstddef>
#include <vector>

class RECLINK_EXPORT CPtrArray {
 public:
  CPtrArray() = default;
  CPtrArray(const CPtrArray&) = delete;
  CPtrArray& operator=(const CPtrArray&) = delete;

  // The number of slots; GetUpperBound is the last index (-1 when empty).
  int GetSize() const { return static_cast<int>(slots_.size()); }
  int GetCount() const { return GetSize(); }
  int GetUpperBound() const { return GetSize() - 1; }
  // Precondition for GetAt, SetAt, ElementAt and []: 0 <= index < GetSize().
  void* GetAt(int index) const { return slots_[static_cast<std::size_t>(index)]; }
  void SetAt(int index, void* element) { slots_[static_cast<std::size_t>(index)] = element; }
  void*& ElementAt(int index) { return slots_[static_cast<std::size_t>(index)]; }
  void* operator[](int index) const { return GetAt(index); }
  void*& operator[](int index) { return ElementAt(index); }

  // Sets the element at index, growing the array with null slots as needed.
  void SetAtGrow(int index, void* element);
  // Resizes to newSize slots (new ones null); growBy is a capacity hint, -1 keeps it.
  void SetSize(int newSize, int growBy = -1);
  // Appends element and returns its index.
  int Add(void* element);
  // Empties the array; the pointed-at objects are not freed.
  void RemoveAll();

 private:
  std::vector<void*> slots_;  // the elements in order
  int growBy_ = 0;            // capacity step asked for by SetSize; 0 = default growth
};

#endif  // RECLINK_HOST_FRAMEWORK
