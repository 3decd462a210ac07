/* A classic program's use of wbtrv32.dll: load it by name, find BTRCALL by
 * its plain name, and create, fill and read a file through it with the
 * calling convention and types of the classic interface. Built in C, with no
 * header of ours. Exits 0 when every step gave what it must.
 *   wbtrv32_drop_in [directory]
 * The file is DROPIN.BTR in the directory named, and stays there (its
 * records are wherever the directory keeps them: the caller looks); without
 * one, a file of the temporary directory, removed at the end. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef short(WINAPI* BtrCall)(WORD op, void* posBlock, void* data, DWORD* dataLen, void* key,
                              BYTE keyLen, char keyNum);
/* The start-up and stop calls of the classic interface: its import library
 * names them and its interface module, which classic programs compile in,
 * calls WBRQSHELLINIT, so a program that links them does not even load
 * without them. The two start-up calls succeed and change nothing;
 * WBTRVSTOP ends the program's use of the record manager, as Stop does. */
typedef short(WINAPI* BtrStart)(char* options);
typedef short(WINAPI* BtrEnd)(void);

static int Check(const char* step, int status, int want) {
  if (status == want) return 1;
  fprintf(stderr, "wbtrv32 drop-in: %s gave status %d, not %d\n", step, status, want);
  return 0;
}

int main(int argc, char** argv) {
  HMODULE dll = LoadLibraryA("wbtrv32.dll");
  if (dll == NULL) {
    fprintf(stderr, "wbtrv32 drop-in: LoadLibrary(wbtrv32.dll) failed, error %lu\n",
            GetLastError());
    return 1;
  }
  BtrCall btrcall = (BtrCall)(void (*)(void))GetProcAddress(dll, "BTRCALL");
  if (btrcall == NULL) {
    fprintf(stderr, "wbtrv32 drop-in: wbtrv32.dll exports no BTRCALL\n");
    return 1;
  }

  BtrStart init = (BtrStart)(void (*)(void))GetProcAddress(dll, "WBTRVINIT");
  BtrStart shellInit = (BtrStart)(void (*)(void))GetProcAddress(dll, "WBRQSHELLINIT");
  BtrEnd stop = (BtrEnd)(void (*)(void))GetProcAddress(dll, "WBTRVSTOP");
  if (init == NULL || shellInit == NULL || stop == NULL) {
    fprintf(stderr, "wbtrv32 drop-in: wbtrv32.dll lacks%s%s%s, which classic programs import\n",
            init == NULL ? " WBTRVINIT" : "", shellInit == NULL ? " WBRQSHELLINIT" : "",
            stop == NULL ? " WBTRVSTOP" : "");
    return 1;
  }
  char options[] = "";
  if (!Check("WBTRVINIT", init(options), 0) || !Check("WBRQSHELLINIT", shellInit(options), 0)) {
    return 1;
  }

  char path[MAX_PATH + 32];
  if (argc > 1) {
    if (strlen(argv[1]) > MAX_PATH) return 1;
    sprintf(path, "%s\\DROPIN.BTR", argv[1]);
  } else {
    DWORD n = GetTempPathA(MAX_PATH, path);
    if (n == 0 || n > MAX_PATH) return 1;
    sprintf(path + n, "dropin-%lu.btr", GetCurrentProcessId());
  }

  /* File specification (16 bytes) and one key of 8 string bytes at offset 0. */
  unsigned char spec[32] = {0};
  spec[0] = 16;              /* record length */
  spec[3] = 4096 >> 8;       /* page size */
  spec[4] = 1;               /* keys */
  spec[16] = 1;              /* key position, 1-based */
  spec[18] = 8;              /* key length */
  char pos[128] = {0};
  DWORD len = sizeof spec;
  int ok = Check("Create", btrcall(14, pos, spec, &len, path, (BYTE)strlen(path), 0), 0);
  len = 0;
  ok = ok && Check("Open", btrcall(0, pos, NULL, &len, path, (BYTE)strlen(path), 0), 0);

  /* Three records, then a walk over them: Get First, Get Next to the end
   * (on a server the walk reads ahead between calls). */
  char record[16], back[16];
  char key[255] = {0};
  memcpy(record, "KEY00001payload!", 16);
  for (char n = '1'; ok && n <= '3'; ++n) {
    record[7] = n;
    len = 16;
    ok = Check("Insert", btrcall(2, pos, record, &len, key, sizeof key, 0), 0);
  }
  for (int i = 0, st = 0; ok && st == 0; ++i) {
    len = sizeof back;
    st = btrcall(i == 0 ? 12 : 6, pos, back, &len, key, sizeof key, 0);
    record[7] = (char)('1' + i);
    if (st == 0 && (i > 2 || len != 16 || memcmp(back, record, 16) != 0)) {
      fprintf(stderr, "wbtrv32 drop-in: the walk met %.8s as its record %d\n", back, i + 1);
      ok = 0;
    }
    if (st != 0) ok = Check(i == 3 ? "Get Next at the end" : "Get Next", st, i == 3 ? 9 : 0);
  }
  len = 0;
  ok = Check("Close", btrcall(1, pos, NULL, &len, NULL, 0, 0), 0) && ok;
  btrcall(25, pos, NULL, &len, NULL, 0, 0); /* Stop */
  ok = Check("WBTRVSTOP", stop(), 0) && ok;
  if (argc <= 1) DeleteFileA(path);
  FreeLibrary(dll);
  if (ok) puts("wbtrv32 drop-in: passed");
  /* Said now, not at exit: Wine now and then dies while it ends a process,
   * and the line the test's runner looks for must be out by then. */
  fflush(stdout);
  return ok ? 0 : 1;
}
