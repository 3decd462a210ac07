#pragma once
// The utility's words for a record file's layout: the names of key types as
// descriptions and listings write them. The layout itself (recman::FileSpec)
// and its buffer are the public codec's.

#include <cstdint>
#include <string>

#include "reclink/file_spec.h"

namespace reclink::cli {

using recman::FileSpec;
using recman::KeySpec;
using recman::SegmentSpec;

// The name of a key type as the utility writes and reads it ("zstring"), or
// nullptr for a type it does not know.
const char* KeyTypeName(uint8_t type);
// The type of name (case-insensitive); false for a name it does not know.
bool KeyTypeFromName(const std::string& name, uint8_t* type);

}  // namespace reclink::cli
