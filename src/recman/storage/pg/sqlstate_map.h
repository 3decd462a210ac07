// Maps the server's SQLSTATEs to record-manager statuses.
#pragma once

#include <string>

#include "recman/storage/access.h"

namespace recman::pg {

// The status for a failed statement with SQLSTATE state, for what it was
// doing. An unknown state gives 2.
int StatusFromSqlstate(const std::string& state, Access access);

}  // namespace recman::pg
