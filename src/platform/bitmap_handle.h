#pragma once
// Releasing the bitmap handles that applications keep in image list entries:
// DeleteObject on Windows, the application's registered function elsewhere.

#include "reclink/bitmap.h"

namespace reclink::platform {

// Releases bitmap (not null) with the registered function, else by the
// platform's default.
void ReleaseBitmapHandle(BitmapHandle bitmap);

}  // namespace reclink::platform
