#include "platform/bitmap_handle.h"

#include <atomic>

#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace reclink {

namespace {
std::atomic<BitmapReleaseFunction> g_release{nullptr};  // the application's function, or nullptr
}  // namespace

BitmapReleaseFunction SetBitmapReleaseFunction(BitmapReleaseFunction release) {
  return g_release.exchange(release);
}

void ReleaseBitmap(BitmapHandle bitmap) {
  if (bitmap != nullptr) platform::ReleaseBitmapHandle(bitmap);
}

namespace platform {

void ReleaseBitmapHandle(BitmapHandle bitmap) {
  if (BitmapReleaseFunction release = g_release.load()) {
    release(bitmap);
    return;
  }
#ifdef _WIN32
  win32::DeleteGdiObject(bitmap);
#endif
  // Elsewhere there is no system graphics object to release: without a
  // registered function the handle is dropped.
}

}  // namespace platform

}  // namespace reclink
