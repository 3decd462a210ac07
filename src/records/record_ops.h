#pragma once
// The routines every record class shares: where its file is, how a key image
// is built, how the prime key is taken from a record, and the keyed look-up.
// They work on the base object and the buffers a record class embeds.

#include "reclink/base_rec_link.h"
#include "reclink/cstring.h"
#include "reclink/records/catalogue.h"

namespace reclink::records {

// The database directory from the profile: section "DB_DIR", entry
// "DATABASE", default "". Read from the host application's profile when there
// is a CWinApp, else from the profile file that CTools names. Read afresh.
CString ProfileDirectory();

// The path of fileName in directory, "%s%s". When complete is set, a
// backslash is appended to the directory unless its last byte is one.
CString ComposeFilePath(const char* directory, bool complete, const char* fileName);

// Selects key keyNumber (laid out as key) of object and hands it the key
// image of values: zeros, then value i copied into segment i; segments beyond
// count, and nullptr values, stay empty. A value longer than its segment is cut
// so that it keeps its terminator. Allocates nothing.
void SelectKey(CBaseRecLink& object, int keyNumber, const KeyLayout& key,
               const char* const* values, int count);

// Whether the first count key fields of record equal values (string
// comparisons, nullptr = empty).
bool FieldsEqual(const char* record, const KeyLayout& key, const char* const* values, int count);

// Fills primeKey (row.PrimeKeyLength() bytes) from record by the row's rule.
void BuildPrimeKey(const RecordFileRow& row, const char* record, char* primeKey);

// The look-up of the record classes: record (row.recordLength bytes) zeroed,
// a key image of key keyNumber of the row built from the count values, SetKey,
// SetKeyBuffer, GetEQ. Returns the status of GetEQ. Allocates nothing.
int LookUpRecord(CBaseRecLink& object, const RecordFileRow& row, char* record, int keyNumber,
                 const char* const* values, int count);

}  // namespace reclink::records
