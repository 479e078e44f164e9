/* A host that loads quadturn.dll at run time: the operations are found by
 * their names (stdcall-decorated on x86, plain on x64) and by ordinal at the
 * same addresses, the other spellings are not exported, and a turn and a
 * flip through the pointers work. */
#include "host_image.h"

typedef BOOL(WINAPI* RotateFn)(HGLOBAL);
typedef BOOL(WINAPI* QuarterTurnsFn)(HGLOBAL, int);
typedef BOOL(WINAPI* RotateFlipFn)(HGLOBAL, int);
typedef DWORD(WINAPI* RotateFlipPixelsFn)(const void*, LONG_PTR, void*, LONG_PTR, LONG, LONG, int,
                                          int);

#ifdef _WIN64
static const char kLeftName[] = "RotateLeft90";
static const char kRightName[] = "RotateRight90";
static const char kQuarterName[] = "RotateQuarterTurns";
static const char kFlipName[] = "RotateFlip";
static const char kPixelsName[] = "RotateFlipPixels";
static const char* const kAbsent[] = {"_RotateRight90@4", "_RotateLeft90@4",
                                      "_RotateQuarterTurns@8", "_RotateFlip@8",
                                      "_RotateFlipPixels@32", "RotateFlipPixels@32",
                                      "RotateRight90@4", "_RotateRight90", "GlobalAlloc"};
#else
static const char kLeftName[] = "_RotateLeft90@4";
static const char kRightName[] = "_RotateRight90@4";
static const char kQuarterName[] = "_RotateQuarterTurns@8";
static const char kFlipName[] = "_RotateFlip@8";
static const char kPixelsName[] = "_RotateFlipPixels@32";
static const char* const kAbsent[] = {"RotateRight90", "RotateLeft90", "RotateQuarterTurns",
                                      "RotateFlip", "RotateFlipPixels", "RotateFlipPixels@32",
                                      "RotateRight90@4", "RotateLeft90@4",
                                      "RotateQuarterTurns@8", "RotateFlip@8", "_RotateRight90",
                                      "GlobalAlloc"};
#endif

int main(void) {
  int failures = 0;
  HMODULE dll = LoadLibraryA("quadturn.dll");
  RotateFn left, right;
  QuarterTurnsFn quarters;
  RotateFlipFn flip;
  RotateFlipPixelsFn pixels;
  unsigned char rows[6] = {'a', 'b', 'c', 'd', 'e', 'f'}, turned[6] = {0};
  HGLOBAL h;
  size_t i;
  if (dll == NULL) {
    printf("LoadLibrary(quadturn.dll) failed: %lu\n", GetLastError());
    return 1;
  }
  left = (RotateFn)(void*)GetProcAddress(dll, kLeftName);
  right = (RotateFn)(void*)GetProcAddress(dll, kRightName);
  if (left == NULL || right == NULL) {
    printf("%s and %s not found\n", kLeftName, kRightName);
    return 1;
  }
  quarters = (QuarterTurnsFn)(void*)GetProcAddress(dll, kQuarterName);
  flip = (RotateFlipFn)(void*)GetProcAddress(dll, kFlipName);
  pixels = (RotateFlipPixelsFn)(void*)GetProcAddress(dll, kPixelsName);
  if (quarters == NULL || flip == NULL || pixels == NULL) {
    printf("%s, %s and %s not found\n", kQuarterName, kFlipName, kPixelsName);
    return 1;
  }
  if ((RotateFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(1)) != left ||
      (RotateFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(2)) != right ||
      (QuarterTurnsFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(3)) != quarters ||
      (RotateFlipFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(4)) != flip ||
      (RotateFlipPixelsFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(5)) != pixels) {
    printf("ordinals 1 to 5 do not give RotateLeft90, RotateRight90, RotateQuarterTurns, "
           "RotateFlip, RotateFlipPixels\n");
    ++failures;
  }
  for (i = 0; i < sizeof kAbsent / sizeof kAbsent[0]; ++i) {
    if (GetProcAddress(dll, kAbsent[i]) != NULL) {
      printf("%s must not be exported\n", kAbsent[i]);
      ++failures;
    }
  }

  h = host_make_image();
  if (right(h) != FALSE) ++failures;
  failures += host_check_turned(h, 1, "RotateRight90 through GetProcAddress");
  left(h);
  left(h);
  failures += host_check_turned(h, 0, "RotateLeft90 through GetProcAddress");
  if ((GlobalFlags(h) & GMEM_LOCKCOUNT) != 0) ++failures;
  /* A half turn of the counter-clockwise image is the clockwise one, its
   * rows padded with 0 by this entry; two turns back, the counter-clockwise
   * one again. */
  SetLastError(77);
  if (!quarters(h, 2) || GetLastError() != 77) {
    printf("RotateQuarterTurns failed: %lu\n", GetLastError());
    ++failures;
  }
  failures += host_check_rows(h, "cf\0\0be\0\0ad\0\0", "RotateQuarterTurns(h, 2)");
  if (!quarters(h, -2)) ++failures;
  failures += host_check_rows(h, "da\0\0eb\0\0fc\0\0", "RotateQuarterTurns(h, -2)");
  if (quarters(NULL, 1) || GetLastError() != ERROR_INVALID_HANDLE) {
    printf("RotateQuarterTurns(NULL) did not fail with ERROR_INVALID_HANDLE\n");
    ++failures;
  }
  /* Shown from the top, "fc", "eb", "da" transposed: "fed" over "cba". */
  if (!flip(h, 5)) ++failures;
  failures += host_check_image(h, 3, 2, "cba\0fed\0", 8, "RotateFlip(h, 5)");
  if (flip(h, 8) || GetLastError() != ERROR_INVALID_PARAMETER) {
    printf("RotateFlip(h, 8) did not fail with ERROR_INVALID_PARAMETER\n");
    ++failures;
  }
  GlobalFree(h);
  /* "abc" over "def", turned right: "da", "eb", "fc"; the caller's last
   * error kept, a bad type refused. */
  SetLastError(78);
  if (pixels(rows, 3, turned, 2, 3, 2, 8, 1) != 0 || GetLastError() != 78 ||
      memcmp(turned, "daebfc", 6) != 0) {
    printf("RotateFlipPixels through GetProcAddress did not turn the rows\n");
    ++failures;
  }
  if (pixels(rows, 3, turned, 2, 3, 2, 8, 8) != ERROR_INVALID_PARAMETER) {
    printf("RotateFlipPixels(type 8) did not answer ERROR_INVALID_PARAMETER\n");
    ++failures;
  }
  FreeLibrary(dll);
  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
