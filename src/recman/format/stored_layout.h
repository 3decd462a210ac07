// The layout a record file keeps beside its records: a layout image and the
// version of the storage's format it was written for. Every backend reads
// it back through here, so that a file opens and checks by one rule.
#pragma once

#include <cstdint>
#include <string>

#include "recman/format/file_layout.h"

namespace recman {

// The layout stored as image with format version `format`, where this build
// writes version `expected`: true and *layout filled when the version is
// that one and the image is one whole layout, not a byte more or less; false
// (the file is not a record file of this engine) otherwise.
bool ReadStoredLayout(int64_t format, int64_t expected, const std::string& image, FileLayout* layout);

}  // namespace recman
