#pragma once
// Bitmaps that an application keeps in the image list entries of EnumImages.
// On Windows a handle is a GDI bitmap, released with DeleteObject. Elsewhere a
// handle is a pointer to the application's own image object, and the library
// releases it through the function the application registers here.

#include "reclink/reclink_export.h"

namespace reclink {

// A bitmap handle: an HBITMAP on Windows, the application's image object elsewhere.
using BitmapHandle = void*;

// Releases one bitmap; called with a non-null handle only, on the thread that
// runs the enumeration.
using BitmapReleaseFunction = void (*)(BitmapHandle bitmap);

// Makes the library release bitmaps with release (nullptr restores the
// default: DeleteObject on Windows; elsewhere the handle is dropped without a
// call). Returns the previous function. Thread-safe.
RECLINK_EXPORT BitmapReleaseFunction SetBitmapReleaseFunction(BitmapReleaseFunction release);

// Releases bitmap as the enumerations do (nothing for nullptr). For an
// application that frees the entries of an array itself.
RECLINK_EXPORT void ReleaseBitmap(BitmapHandle bitmap);

}  // namespace reclink
