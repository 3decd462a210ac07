#pragma once
// File systems that tests make and remove: a small tmpfs, to fill or to
// remount read-only. They need root and mount(2); a test asks Available() and
// skips when they cannot be had.

#include <string>

namespace reclink::test {

// A tmpfs of a given size on a fresh directory; unmounted and removed at the end.
class TmpfsMount {
 public:
  explicit TmpfsMount(size_t bytes);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  // Whether the mount was made; when not, why not.
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Makes the whole mount read-only, or writable again; true on success.
  bool SetReadOnly(bool readOnly);

 private:
  std::string path_;  // mount point
  std::string why_;   // reason the mount failed
  bool ok_ = false;   // whether path_ is mounted
};

// Fills the file system holding dir until fewer than `leave` bytes are free,
// with one ballast file; returns its path (empty on failure).
std::string FillUpTo(const std::string& dir, size_t leave);

}  // namespace reclink::test
