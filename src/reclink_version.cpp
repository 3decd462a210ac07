// The library's version, as the reclink command and applications see it.
#include "reclink/version.h"

namespace reclink {

const char* Version() { return "1.0.0"; }

}  // namespace reclink
