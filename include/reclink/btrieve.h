/* The classic record interface: one entry point, BTRCALL, and its constants.
 * Implemented by the record manager (librecman). C linkage, so programs written
 * in C against the classic interface can use it as they always have. */
#ifndef RECLINK_BTRIEVE_H
#define RECLINK_BTRIEVE_H

#include <stdint.h>

#include "reclink/recman_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Performs one operation. posBlock is the caller's 128-byte position block,
 * owned by the engine between calls; data/dataLen the record buffer and its
 * length (rewritten with the length returned); key the key buffer of keyLen
 * bytes; keyNum the key path or, for Open, the open mode. Returns the status
 * (0 success). Safe from several threads, one call at a time per block;
 * calls on different files never wait for each other. RECMAN_CALL is the
 * calling convention classic programs use: __stdcall on 32-bit Windows, the
 * platform's only one elsewhere. */
RECMAN_EXPORT int RECMAN_CALL BTRCALL(uint16_t op, void* posBlock, void* data,
                                      uint32_t* dataLen, void* key, uint8_t keyLen, int8_t keyNum);

/* BTRCALL for a program written against the older entry point: the data
 * length is 16-bit and the key buffer is taken to hold 255 bytes. A key
 * number outside -128..127 gives 6. */
RECMAN_EXPORT int RECMAN_CALL BTRV(uint16_t op, void* posBlock, void* data, uint16_t* dataLen, void* key,
                                   int16_t keyNum);

/* BTRCALL and BTRV on behalf of the client that clientId (16 bytes, read
 * only during the call) names: each client has its own transaction, its own
 * record locks and its own Reset, and blocks opened by one client give 3 to
 * every other. An all-zero id, or a null clientId, names the client of the
 * plain entry points. */
RECMAN_EXPORT int RECMAN_CALL BTRCALLID(uint16_t op, void* posBlock, void* data, uint32_t* dataLen,
                                        void* key, uint8_t keyLen, int8_t keyNum, const void* clientId);
RECMAN_EXPORT int RECMAN_CALL BTRVID(uint16_t op, void* posBlock, void* data, uint16_t* dataLen, void* key,
                                     int16_t keyNum, const void* clientId);

/* The start-up and stop calls of the classic interface, for programs that
 * still import them: the start-ups do nothing and give 0 (options are not
 * read); WBTRVSTOP is Stop (25) for the client of the plain entry points. */
RECMAN_EXPORT int RECMAN_CALL WBTRVINIT(char* options);
RECMAN_EXPORT int RECMAN_CALL WBRQSHELLINIT(char* options);
RECMAN_EXPORT int RECMAN_CALL WBTRVSTOP(void);

/* Sets how long a write, or a transaction's first access to a file, waits
 * for another process's lock before giving up with 85 (84 for a record),
 * and how long a wait lock (+100, +300) waits for a record another client
 * holds.
 * Overrides the environment variable RECMAN_LOCK_TIMEOUT_MS (default 5000),
 * for every file, from the next wait on. */
RECMAN_EXPORT void BtrSetLockTimeout(uint32_t milliseconds);
#define RECMAN_LOCK_TIMEOUT_VARIABLE "RECMAN_LOCK_TIMEOUT_MS"
enum { B_DEFAULT_LOCK_TIMEOUT_MS = 5000 }; /* the wait when neither sets one */

/* Sets the page-cache budget of all the record files the process has open,
 * together, in KiB (0 restores the default). Overrides the environment
 * variable RECMAN_MEMORY_BUDGET_MB (default 64 MiB); every open file takes
 * its share at its next call. */
RECMAN_EXPORT void BtrSetMemoryBudget(uint32_t kibibytes);

/* Operation codes. */
enum {
  B_OPEN = 0,
  B_CLOSE = 1,
  B_INSERT = 2,
  B_UPDATE = 3,
  B_DELETE = 4,
  B_GET_EQUAL = 5,
  B_GET_NEXT = 6,
  B_GET_PREVIOUS = 7,
  B_GET_GREATER = 8,
  B_GET_GE = 9,
  B_GET_LESS = 10,
  B_GET_LE = 11,
  B_GET_FIRST = 12,
  B_GET_LAST = 13,
  B_CREATE = 14,
  B_STAT = 15,
  B_SET_DIRECTORY = 17,
  B_GET_DIRECTORY = 18,
  B_BEGIN_TRAN = 19,
  B_END_TRAN = 20,
  B_ABORT_TRAN = 21,
  B_GET_POSITION = 22,
  B_GET_DIRECT = 23,
  B_STEP_NEXT = 24,
  B_STOP = 25,
  B_VERSION = 26,
  B_UNLOCK = 27,
  B_RESET = 28,
  B_STEP_FIRST = 33,
  B_STEP_LAST = 34,
  B_STEP_PREVIOUS = 35,
  B_GET_NEXT_EXTENDED = 36,
  B_GET_PREV_EXTENDED = 37,
  B_STEP_NEXT_EXTENDED = 38,
  B_STEP_PREV_EXTENDED = 39,
  B_INSERT_EXTENDED = 40,
  B_SET_OWNER = 29,   /* key number: 0 the name is needed to open, 1 to write (reading needs none) */
  B_CLEAR_OWNER = 30,
  B_CREATE_INDEX = 31, /* key number 0: the next key number; B_INDEX_NUMBER_GIVEN: the one in the key spec */
  B_DROP_INDEX = 32,   /* key number: the key; + B_INDEX_NUMBER_GIVEN: the keys after it keep their numbers */
  B_CONTINUOUS = 42, /* key number 0 begins continuous operation, 1 ends all, 2 ends the files named */
  B_GET_BY_PERCENTAGE = 44,
  B_FIND_PERCENTAGE = 45,
  B_GET_KEY = 50, /* bias: position and return the key only */
  B_BEGIN_CONCURRENT = 1019, /* accepted as Begin Transaction, with its lock bias */
  B_NO_RETRY = 500 /* bias on a concurrent Begin: its writes do not wait for a file held elsewhere */
};

/* Record-lock biases added to the Gets, the Steps and Get Direct: the record
 * read is locked for the position block (wait: waits up to the lock timeout
 * for a record another client holds; no-wait: 84 at once). A block holds one
 * single-record lock at a time; multiple-record locks accumulate until
 * Unlock. */
enum {
  B_SINGLE_WAIT_LOCK = 100,
  B_SINGLE_NOWAIT_LOCK = 200,
  B_MULTIPLE_WAIT_LOCK = 300,
  B_MULTIPLE_NOWAIT_LOCK = 400
};

/* Statuses, named and described in btrieve_status.tbl. */
enum {
#define B_STATUS(name, value, meaning) name = value,
#include "reclink/btrieve_status.tbl"
#undef B_STATUS
  B_DATA_MESSAGE_TOO_SMALL = B_KEY_BUFFER_TOO_SHORT /* 21 under its other name */
};

/* Open modes, passed as the key number of Open. */
enum {
  B_MODE_NORMAL = 0,
  B_MODE_ACCELERATED = -1,
  B_MODE_READ_ONLY = -2,
  B_MODE_VERIFY = -3,
  B_MODE_EXCLUSIVE = -4
};

/* Key flags (key specification, offset 4); Create refuses any other with 45. */
enum {
  B_KEY_DUPLICATES = 0x0001,
  B_KEY_MODIFIABLE = 0x0002,
  B_KEY_BINARY = 0x0004,
  B_KEY_NULL = 0x0008,
  B_KEY_SEGMENTED = 0x0010,
  B_KEY_ALT_COLLATION = 0x0020,
  B_KEY_DESCENDING = 0x0040,
  B_KEY_EXTENDED_TYPE = 0x0100,
  B_KEY_MANUAL = 0x0200,
  B_KEY_CASE_INSENSITIVE = 0x0400
};

/* Extended key types (key specification, offset 10). */
enum {
  B_TYPE_STRING = 0,
  B_TYPE_INTEGER = 1,
  B_TYPE_FLOAT = 2,
  B_TYPE_LSTRING = 10,
  B_TYPE_ZSTRING = 11,
  B_TYPE_UNSIGNED_BINARY = 14,
  B_TYPE_AUTOINCREMENT = 15
};

/* The descriptor of the extended operations (36-39), in the data buffer:
 * header (2-byte descriptor length, "EG" to start after the current record
 * or "UC" to start with it), filter (2-byte reject count, 2-byte number of
 * terms, then each term: 1-byte field type, 2-byte length, 2-byte offset,
 * 1-byte comparison, 1-byte connector, and the value: length bytes, or a
 * 2-byte offset of a second field with B_EXT_FIELD), extractor (2-byte
 * number of records, 2-byte number of fields, then each field: 2-byte
 * length, 2-byte offset). They return a 2-byte count of records, then for
 * each a 2-byte length, the 4-byte position and the extracted bytes. */
enum {
  B_EXT_EQUAL = 1,      /* comparisons */
  B_EXT_GREATER = 2,
  B_EXT_LESS = 3,
  B_EXT_NOT_EQUAL = 4,
  B_EXT_GREATER_EQ = 5,
  B_EXT_LESS_EQ = 6,
  B_EXT_USE_ACS = 32,   /* biases of a comparison: by the file's first collating sequence, */
  B_EXT_FIELD = 64,     /* against a second field, */
  B_EXT_NO_CASE = 128,  /* ignoring the case of ASCII letters */
  B_EXT_LAST_TERM = 0,  /* connectors: the last term, */
  B_EXT_AND = 1,        /* and the next, */
  B_EXT_OR = 2          /* or the next (strictly left to right) */
};

/* Key numbers of Unlock (27); any other key number releases the block's
 * single-record lock. */
enum {
  B_UNLOCK_MULTIPLE_ONE = -1, /* the multiple-record lock at the position in the data buffer */
  B_UNLOCK_MULTIPLE_ALL = -2  /* every multiple-record lock of the block */
};

/* The bias of Create Index's and Drop Index's key number: the key number as
 * given (in the key specification's manual key number for Create Index),
 * without the engine numbering keys anew. */
enum { B_INDEX_NUMBER_GIVEN = 0x80 };

/* File flags (file specification, offset 10) that Create accepts; any
 * other gives 45. Only the variable-length flag changes what the operations
 * do; the others are space hints, kept in the file specification. */
enum {
  B_FILE_VARIABLE_LENGTH = 0x0001, /* records may be longer than the record length */
  B_FILE_PREALLOCATE = 0x0004,     /* space hint: pages to reserve at Create */
  B_FILE_COMPRESSED = 0x0008,      /* space hint: store records compressed */
  B_FILE_FREE_SPACE_10 = 0x0040,   /* space hint: free space to keep in pages */
  B_FILE_FREE_SPACE_20 = 0x0080,   /* space hint, as above */
  B_FILE_DUPLICATE_POINTERS = 0x0100 /* space hint: duplicate pointers to reserve */
};

enum {
  B_POSITION_BLOCK_SIZE = 128, /* bytes of a position block */
  B_MAX_KEY_LENGTH = 255,      /* longest key a key buffer must hold */
  B_MAX_KEYS = 119,            /* most keys a file has */
  B_MAX_VARIABLE_RECORD = 16777216, /* longest record of a variable-length file (16 MiB) */
  B_ACS_SIGNATURE = 0xAC       /* first byte of an alternate collating sequence */
};

/* Create and Stat buffers: a file specification followed by one key
 * specification per segment, little-endian, no padding. */
#pragma pack(push, 1)
typedef struct BtrFileSpec {
  uint16_t recordLength;   /* bytes of every record */
  uint16_t pageSize;       /* 512..4096, a multiple of 512 */
  uint8_t numberOfKeys;    /* keys, not segments */
  uint8_t fileVersion;     /* Stat with key number -1 only */
  uint32_t numberOfRecords; /* Stat: records stored; Create: 0 */
  uint16_t fileFlags;      /* file flags as Create received them */
  uint8_t duplicatePointers; /* reserved duplicate pointers */
  uint8_t unused;          /* not used */
  uint16_t allocation;     /* Create: preallocated pages; Stat: unused pages */
} BtrFileSpec;

typedef struct BtrKeySpec {
  uint16_t position;       /* 1-based offset of the segment in the record */
  uint16_t length;         /* bytes of the segment */
  uint16_t flags;          /* B_KEY_* */
  uint32_t uniqueValues;   /* Stat: distinct values of the key */
  uint8_t extendedType;    /* B_TYPE_* when B_KEY_EXTENDED_TYPE is set */
  uint8_t nullValue;       /* the byte that marks a null segment */
  uint16_t reserved;       /* not used */
  uint8_t manualKeyNumber; /* key number asked for, manual keys */
  uint8_t acsNumber;       /* alternate collating sequence number */
} BtrKeySpec;

/* An alternate collating sequence, as it follows the key specifications of a
 * Create buffer (and of Stat's output): a key segment with
 * B_KEY_ALT_COLLATION compares its bytes by their weights in table. Key
 * segments choose one by acsNumber (0 the first following the keys). */
typedef struct BtrAltCollation {
  uint8_t signature;       /* B_ACS_SIGNATURE */
  char name[8];            /* the sequence's name, blank padded */
  uint8_t table[256];      /* the sort weight of every byte value */
} BtrAltCollation;
#pragma pack(pop)

#ifdef __cplusplus
}
#endif

#endif /* RECLINK_BTRIEVE_H */
