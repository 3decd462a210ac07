// BtrCheckCreateBuffer: Create's own checks of a file specification, for
// tools that build one and want Create's verdict before touching a disk.
#include "recman/format/file_layout.h"
#include "reclink/recman_check.h"

extern "C" int BtrCheckCreateBuffer(const void* buffer, uint32_t length) {
  try {
    recman::FileLayout layout;
    return recman::ParseLayout(static_cast<const uint8_t*>(buffer), length, &layout);
  } catch (...) {
    return B_IO_ERROR;
  }
}
