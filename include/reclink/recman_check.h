/* Verification of one record file, for administrators' tools: storage
 * integrity, every record's keys against the indexes, record lengths; Create's
 * verdict on a file specification; the meaning of a status in words. */
#ifndef RECLINK_RECMAN_CHECK_H
#define RECLINK_RECMAN_CHECK_H

#include <stdint.h>

#include "reclink/recman_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one problem found, as one line of text without a line end. */
typedef void (*BtrCheckSink)(void* ctx, const char* problem);

/* Checks the record file at path without changing it; sink (may be null) gets
 * each problem. Returns 0 when the file is sound, the number of problems found
 * otherwise, or -1 when the file cannot be opened as a record file (the reason
 * goes to sink). */
RECMAN_EXPORT int BtrCheckFile(const char* path, BtrCheckSink sink, void* ctx);

/* Reads the file specification of the record file at path into data, as
 * Stat with key number -1 gives it (counts, key specifications, collating
 * sequences), without opening the file through BTRCALL: no owner name is
 * asked, as for BtrCheckFile, and nothing is changed. *dataLen holds the
 * buffer's size and receives the bytes written. Returns 0 or the status
 * Open or Stat would give (12 no such file, 22 buffer too short, 30 not a
 * record file, ...). */
RECMAN_EXPORT int BtrStatFile(const char* path, void* data, uint32_t* dataLen);

/* Checks a Create buffer (file specification, key specifications, collating
 * sequences) of length bytes as Create would, without creating anything.
 * buffer may be null only with length 0. Returns 0 when Create would accept
 * it, otherwise the status Create gives for its first problem. */
RECMAN_EXPORT int BtrCheckCreateBuffer(const void* buffer, uint32_t length);

/* What status means, in a few lower-case English words ("file not found"),
 * for messages people read; "unknown status" for a status the record manager
 * does not define. The text is static: the caller never frees it. */
RECMAN_EXPORT const char* BtrStatusText(int status);

/* The file in a database directory whose settings send the directory's
 * record files to a server, and the environment variable that sends every
 * file of the process to one. */
#define RECMAN_SERVER_CONFIG_NAME "recman-server.conf"
#define RECMAN_SERVER_VARIABLE "RECMAN_SERVER"

/* Lists the record files that a server keeps for the database directory dir
 * (the one its recman-server.conf, or RECMAN_SERVER, names): name gets each
 * file's name, problem (may be null) the reason when there is no list. Returns
 * the number of files, or -1 when dir's files are not on a server or the
 * server cannot be asked. */
RECMAN_EXPORT int BtrListServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* RECLINK_RECMAN_CHECK_H */
