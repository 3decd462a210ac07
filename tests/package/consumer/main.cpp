// Uses the installed headers and libraries the way an application does:
// includes everything, asks the library for its version and the record
// manager for its own.
#include <reclink/reclink.h>

#include <cstdio>
#include <cstring>

int main() {
  std::printf("reclink %s\n", reclink::Version());

  unsigned char posBlock[B_POSITION_BLOCK_SIZE] = {};
  unsigned char version[5] = {};
  uint32_t length = sizeof version;
  char key[B_MAX_KEY_LENGTH] = {};
  int status = BTRCALL(B_VERSION, posBlock, version, &length, key, 0, 0);
  if (status != B_NO_ERROR || length != sizeof version) {
    std::printf("BTRCALL(Version) failed: status %d, length %u\n", status, length);
    return 1;
  }
  std::printf("recman %u.%u %c\n", version[0] | version[1] << 8, version[2] | version[3] << 8,
              version[4]);

  CString text;
  text.Format("%s-%d", "ok", 1);
  return std::strcmp(text, "ok-1") == 0 ? 0 : 1;
}
