#pragma once

#include "reclink/reclink_export.h"

namespace reclink {

// The library's version as "major.minor.patch"; a static string, never freed.
RECLINK_EXPORT const char* Version();

}  // namespace reclink
