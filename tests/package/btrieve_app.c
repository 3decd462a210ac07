/* A program of an application developer's, in C, against the installed
 * record manager: it creates a record file in the directory it is given,
 * inserts a record and reads it back by its key. Prints "btrieve app: passed" and exits 0 when every
 * step gave what it must. */
#include <stdio.h>
#include <string.h>

#include <reclink/btrieve.h>
#include <reclink/recman_check.h>

static int Check(const char* step, int status) {
  if (status == B_NO_ERROR) return 1;
  fprintf(stderr, "btrieve app: %s gave status %d (%s)\n", step, status, BtrStatusText(status));
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: btrieve_app DIR\n");
    return 2;
  }
  char path[256];
  if (snprintf(path, sizeof path, "%s/APP.BTR", argv[1]) >= (int)sizeof path) return 2;

  /* File specification: 16-byte records, 4096-byte pages, one key of the
   * first 8 bytes. */
  unsigned char spec[32] = {0};
  spec[0] = 16;
  spec[3] = 4096 >> 8;
  spec[4] = 1;
  spec[16] = 1;
  spec[18] = 8;
  char pos[128] = {0};
  uint32_t len = sizeof spec;
  if (!Check("Create", BTRCALL(B_CREATE, pos, spec, &len, path, (uint8_t)strlen(path), 0))) return 1;
  len = 0;
  if (!Check("Open", BTRCALL(B_OPEN, pos, NULL, &len, path, (uint8_t)strlen(path), 0))) return 1;

  char record[16], back[16];
  char key[255] = {0};
  memcpy(record, "KEY00001payload1", 16);
  len = 16;
  if (!Check("Insert", BTRCALL(B_INSERT, pos, record, &len, key, sizeof key, 0))) return 1;
  memcpy(key, "KEY00001", 8);
  len = sizeof back;
  int ok = Check("Get Equal", BTRCALL(B_GET_EQUAL, pos, back, &len, key, sizeof key, 0));
  if (ok && (len != 16 || memcmp(back, record, 16) != 0)) {
    fprintf(stderr, "btrieve app: Get Equal read back other bytes\n");
    ok = 0;
  }
  len = 0;
  ok = Check("Close", BTRCALL(B_CLOSE, pos, NULL, &len, NULL, 0, 0)) && ok;
  if (ok) puts("btrieve app: passed");
  return ok ? 0 : 1;
}
