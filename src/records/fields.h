#pragma once
// Fixed-width string fields: a field of n bytes holds a zero-terminated string
// of at most n - 1 bytes. These helpers never read or write outside a field,
// even when the stored bytes carry no terminator.

#include <cstddef>

namespace reclink::records {

// Copies text (nullptr = empty) into the field of width bytes, cut to
// width - 1 bytes, and terminates it. Bytes behind the terminator are kept.
void CopyToField(char* field, int width, const char* text);

// 0 when the string in the field equals text (nullptr = empty), compared
// byte by byte as lstrcmpA compares; otherwise the sign of the difference.
int CompareField(const char* field, int width, const char* text);

// The field's value as atol reads it: leading blanks, an optional sign, then
// digits up to the first non-digit; 0 without digits. Saturates at the limits
// of long.
long FieldValue(const char* field, int width);

}  // namespace reclink::records
