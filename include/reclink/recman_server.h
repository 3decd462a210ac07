/* SQL on the server that keeps a database directory's record files, for
 * administrators' tools that build on the stored records (reports): a
 * connection as the directory's configuration makes it, the record files
 * the server keeps with the tables that hold them, and statements run as
 * they are given. */
#ifndef RECLINK_RECMAN_SERVER_H
#define RECLINK_RECMAN_SERVER_H

#include "reclink/recman_check.h"
#include "reclink/recman_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One connection to a server, owned by whoever connected it. The functions
 * below that take one need a connection from BtrServerConnect, not yet
 * closed, used by one thread at a time. */
typedef struct BtrServer BtrServer;

/* Receives one row of a result: columns values, each a zero-terminated text
 * or null for SQL NULL, valid during the call only. */
typedef void (*BtrServerRowSink)(void* ctx, int columns, const char* const* values);

/* Connects to the server that keeps the record files of the database
 * directory dir (its recman-server.conf, or RECMAN_SERVER), as the role the
 * configuration names. Returns the connection, which the caller closes with
 * BtrServerClose, or null after giving the reason to problem (may be null). */
RECMAN_EXPORT BtrServer* BtrServerConnect(const char* dir, BtrCheckSink problem, void* ctx);

/* Closes a connection from BtrServerConnect (null is ignored); a
 * transaction left open is rolled back. */
RECMAN_EXPORT void BtrServerClose(BtrServer* server);

/* The name under which the server keeps the directory's files (its
 * "database = " setting). The text belongs to server and lives as long. */
RECMAN_EXPORT const char* BtrServerDatabase(const BtrServer* server);

/* Every record file the server keeps, of every database, the oldest first:
 * row gets three columns: the database's name, the file's name and the
 * qualified name of the table that holds its records, one row per record,
 * with the record's position in the column pos (bigint) and its bytes in
 * data (bytea). Returns the number of files, or -1 after giving the reason
 * to problem (may be null). */
RECMAN_EXPORT int BtrServerFiles(BtrServer* server, BtrServerRowSink row, BtrCheckSink problem, void* ctx);

/* Runs one SQL statement sql with paramCount text parameters ($1 ...; a
 * null entry is SQL NULL; params may be null when paramCount is 0). row (may
 * be null) gets each row of its result as text. Returns 0, or -1 after
 * giving the server's reason to problem (may be null). */
RECMAN_EXPORT int BtrServerRun(BtrServer* server, const char* sql, int paramCount, const char* const* params,
                               BtrServerRowSink row, BtrCheckSink problem, void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* RECLINK_RECMAN_SERVER_H */
