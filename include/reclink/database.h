#pragma once
// Creating the record files of a database directory through the record
// manager, with the record lengths and key layouts of the record-file table.

#include "reclink/reclink_export.h"

namespace reclink {

// Creates the record file fileName (a file name of the record-file table, such
// as "PATIENT1.BTR") in directory dir (a backslash or slash is added when dir
// does not end in one). Refuses to replace an existing file. Returns the
// record manager's status: 0 created, 59 the file exists, 11 fileName is not
// a file of the table; others as Create gives them. Shows no box.
RECLINK_EXPORT int CreateRecordFile(const char* dir, const char* fileName);

// Creates every file of the record-file table in dir, which must exist. Files
// that exist already are left as they are. Returns 0 when every file was
// created, else the first status other than 0 (59 when a file existed).
RECLINK_EXPORT int CreateDatabase(const char* dir);

}  // namespace reclink
