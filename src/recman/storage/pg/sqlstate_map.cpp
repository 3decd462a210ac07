#include "recman/storage/pg/sqlstate_map.h"

#include "reclink/btrieve.h"

namespace recman::pg {
namespace {

// One row per SQLSTATE, or per class when the code is two characters.
struct StateRow {
  const char* state;  // SQLSTATE, or its class
  int fileStatus;     // status when working on the file
  int recordStatus;   // status when working on one record
  int openStatus;     // status when opening or creating
};

// Exact codes first: the first row that matches wins.
constexpr StateRow kStateTable[] = {
    {"23505", B_DUPLICATE_KEY_VALUE, B_DUPLICATE_KEY_VALUE, B_DUPLICATE_KEY_VALUE},  // unique_violation
    {"55P03", B_FILE_INUSE, B_RECORD_INUSE, B_FILE_INUSE},                            // lock_not_available
    {"40P01", B_FILE_INUSE, B_RECORD_INUSE, B_FILE_INUSE},                            // deadlock_detected
    {"40001", B_FILE_INUSE, B_RECORD_INUSE, B_FILE_INUSE},                            // serialization_failure
    {"2200H", B_DISK_FULL, B_DISK_FULL, B_DISK_FULL},                  // sequence_generator_limit_exceeded
    {"53100", B_DISK_FULL, B_DISK_FULL, B_DISK_FULL},                  // disk_full
    {"54000", B_DATALENGTH_ERROR, B_DATALENGTH_ERROR, B_IO_ERROR},     // program_limit_exceeded
    {"42501", B_ACCESS_DENIED, B_ACCESS_DENIED, B_ACCESS_DENIED},      // insufficient_privilege
    {"25006", B_ACCESS_DENIED, B_ACCESS_DENIED, B_ACCESS_DENIED},      // read_only_sql_transaction
    {"42P01", B_IO_ERROR, B_IO_ERROR, B_NOT_A_BTRIEVE_FILE},           // undefined_table
    {"3F000", B_IO_ERROR, B_IO_ERROR, B_FILE_NOT_FOUND},               // invalid_schema_name
    {"57P01", B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID},  // admin_shutdown
    {"57P02", B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID},  // crash_shutdown
    {"57P03", B_COMMUNICATIONS_ERROR, B_COMMUNICATIONS_ERROR, B_COMMUNICATIONS_ERROR},  // cannot_connect_now
    {"08", B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID, B_SESSION_NO_LONGER_VALID},  // connection_exception
    {"28", B_COMMUNICATIONS_ERROR, B_COMMUNICATIONS_ERROR, B_COMMUNICATIONS_ERROR},  // invalid_authorization
    {"53", B_IO_ERROR, B_IO_ERROR, B_IO_ERROR},                        // insufficient_resources
};

}  // namespace

int StatusFromSqlstate(const std::string& state, Access access) {
  for (const StateRow& row : kStateTable) {
    if (state.compare(0, std::string(row.state).size(), row.state) != 0) continue;
    switch (access) {
      case Access::kOpen: return row.openStatus;
      case Access::kFile: return row.fileStatus;
      case Access::kRecord: return row.recordStatus;
    }
  }
  return B_IO_ERROR;
}

}  // namespace recman::pg
