// Verification of one record file kept on a server, without changing it.
#pragma once

#include <string>

#include "recman/storage/pg/connection.h"
#include "reclink/recman_check.h"

namespace recman::pg {

// Checks file `file` of database through conn: its catalogue entry, every
// record's length and stored keys against the values recomputed from its
// bytes, and that unique keys hold each value once. Returns the number of
// problems (each to sink), or -1 when it is not a record file there.
int CheckServerFile(Connection& conn, const std::string& database, const std::string& file, BtrCheckSink sink,
                    void* ctx);

}  // namespace recman::pg
