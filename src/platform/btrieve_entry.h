#pragma once
// The library's one way to the record manager: the entry set with
// reclink::SetBtrieveEntry, else BTRCALL.

#include <cstdint>

namespace reclink::platform {

int CallBtrieve(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                uint8_t keyLen, int8_t keyNum);

}  // namespace reclink::platform
