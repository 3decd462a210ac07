#include "recman/format/stored_layout.h"

#include "reclink/btrieve.h"

namespace recman {

bool ReadStoredLayout(int64_t format, int64_t expected, const std::string& image, FileLayout* layout) {
  return format == expected &&
         ParseLayout(reinterpret_cast<const uint8_t*>(image.data()), static_cast<uint32_t>(image.size()), layout) ==
             B_NO_ERROR &&
         layout->image.size() == image.size();
}

}  // namespace recman
