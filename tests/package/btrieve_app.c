/* A program of an application developer's, in C, against the installed
 * record manager: it asks the record manager for its version through the
 * classic call, which is all it takes to show that the installed headers
 * compile as C and that the program links and loads against the installed
 * library (what the library does with records, reclink demo shows beside
 * it). Prints "btrieve app: passed" and exits 0 when the call gave what it
 * must. */
#include <stdio.h>

#include <reclink/btrieve.h>
#include <reclink/recman_check.h>

int main(void) {
  char pos[128] = {0};
  unsigned char version[5] = {0};
  char key[255] = {0};
  uint32_t len = sizeof version;
  int status = BTRCALL(B_VERSION, pos, version, &len, key, 0, 0);
  if (status != B_NO_ERROR || len != sizeof version) {
    fprintf(stderr, "btrieve app: Version gave status %d (%s) and %u bytes, not 5\n", status, BtrStatusText(status),
            (unsigned)len);
    return 1;
  }
  puts("btrieve app: passed");
  return 0;
}
