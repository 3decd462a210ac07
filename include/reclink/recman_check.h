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

/* Why the calling thread's last record-manager call gave the status it gave,
 * in words, when the record manager knows more than the status's meaning
 * (which line of a server configuration is wrong, whether a server could not
 * be reached or refused the login, that a file's records are on a server the
 * directory no longer names); "" otherwise. The text belongs to the record
 * manager and stays valid until the thread's next call. */
RECMAN_EXPORT const char* BtrLastReason(void);

/* The file in a database directory whose settings send the directory's
 * record files to a server, and the environment variable that sends every
 * file of the process to one. */
#define RECMAN_SERVER_CONFIG_NAME "recman-server.conf"
#define RECMAN_SERVER_VARIABLE "RECMAN_SERVER"

/* The settings of that file, one "name = value" a line: the server's
 * connection string, the database its files are kept under on it (both
 * needed), the seconds a call waits for the server's answer, and whether
 * walks read ahead between calls (on or off). */
#define RECMAN_SETTING_SERVER "server"
#define RECMAN_SETTING_DATABASE "database"
#define RECMAN_SETTING_TIMEOUT "timeout"
#define RECMAN_SETTING_READ_AHEAD "read-ahead"

/* Lists the record files that a server keeps for the database directory dir
 * (the one its recman-server.conf, or RECMAN_SERVER, names): name gets each
 * file's name, problem (may be null) the reason when there is no list. Returns
 * the number of files, or -1 when dir's files are not on a server or the
 * server cannot be asked. */
RECMAN_EXPORT int BtrListServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx);

/* Makes, in the database directory dir whose files are on a server, the local
 * placeholder of every file the server keeps for it where dir has no file of
 * that name (a local file of the name, such as an old copy of the records,
 * is left as it is). A placeholder is how programs that look at the
 * directory find a file kept on the server. Returns the number made, or -1
 * when dir's files are not on a server, the server cannot be asked or a
 * placeholder cannot be written (problem, may be null, gets why). */
RECMAN_EXPORT int BtrPlaceServerFiles(const char* dir, BtrCheckSink problem, void* ctx);

/* Removes from the server every record file it keeps for the database
 * directory dir (the one its recman-server.conf names), all or none: none may
 * be open on any workstation. name (may be null) gets each file removed,
 * problem (may be null) the reason when nothing was. Returns the number
 * removed, or -1. For the server's copy of a database that has moved back to
 * local files; dir then holds nothing but that configuration. */
RECMAN_EXPORT int BtrDropServerFiles(const char* dir, BtrCheckSink name, BtrCheckSink problem, void* ctx);

/* 1 when the file at path is the local placeholder of a record file kept on a
 * server (what BtrPlaceServerFiles and a Create in a server's directory
 * write), 0 otherwise (another file, or none). */
RECMAN_EXPORT int BtrIsPlaceholder(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* RECLINK_RECMAN_CHECK_H */
