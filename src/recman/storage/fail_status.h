// The status for a failure met at the operating system's boundary.
#pragma once

#include "recman/os/os.h"

namespace recman {

// The status for f (opening, creating, renaming, locking files); 0 for kNone.
int StatusFromFail(os::Fail f);

}  // namespace recman
