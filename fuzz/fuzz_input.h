#pragma once
// Reads a fuzz input as a stream of small decisions. Past the end every read
// gives zero, so any input, however short, decodes to a finite program.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace reclink::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }

  uint32_t U32() { return uint32_t(U16()) | uint32_t(U16()) << 16; }

  // A value in [0, n); n > 0.
  unsigned Below(unsigned n) { return Byte() % n; }

  // Copies up to n input bytes into out, zero-fills the rest.
  void Bytes(void* out, size_t n) {
    if (n == 0) return;
    size_t take = at_ < size_ ? (size_ - at_ < n ? size_ - at_ : n) : 0;
    if (take) std::memcpy(out, data_ + at_, take);
    std::memset(static_cast<uint8_t*>(out) + take, 0, n - take);
    at_ += take;
  }

 private:
  const uint8_t* data_;  // the input, owned by the caller
  size_t size_;          // its length
  size_t at_ = 0;        // next byte to read
};

}  // namespace reclink::fuzz
