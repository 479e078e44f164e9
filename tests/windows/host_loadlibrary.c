/* A host that loads quadturn.dll at run time: the operations are found by
 * their names (stdcall-decorated on x86, plain on x64) and by ordinal at the
 * same addresses, the other spellings are not exported, and a turn and a
 * flip through the pointers work. */
#include "host_image.h"

typedef BOOL(WINAPI* RotateFn)(HGLOBAL);
typedef BOOL(WINAPI* QuarterTurnsFn)(HGLOBAL, int);
typedef BOOL(WINAPI* RotateFlipFn)(HGLOBAL, int);

#ifdef _WIN64
static const char kLeftName[] = "RotateLeft90";
static const char kRightName[] = "RotateRight90";
static const char kQuarterName[] = "RotateQuarterTurns";
static const char kFlipName[] = "RotateFlip";
static const char* const kAbsent[] = {"_RotateRight90@4", "_RotateLeft90@4",
                                      "_RotateQuarterTurns@8", "_RotateFlip@8",
                                      "RotateRight90@4", "_RotateRight90", "GlobalAlloc"};
#else
static const char kLeftName[] = "_RotateLeft90@4";
static const char kRightName[] = "_RotateRight90@4";
static const char kQuarterName[] = "_RotateQuarterTurns@8";
static const char kFlipName[] = "_RotateFlip@8";
static const char* const kAbsent[] = {"RotateRight90", "RotateLeft90", "RotateQuarterTurns",
                                      "RotateFlip", "RotateRight90@4", "RotateLeft90@4",
                                      "RotateQuarterTurns@8", "RotateFlip@8", "_RotateRight90",
                                      "GlobalAlloc"};
#endif

int main(void) {
  int failures = 0;
  HMODULE dll = LoadLibraryA("quadturn.dll");
  RotateFn left, right;
  QuarterTurnsFn quarters;
  RotateFlipFn flip;
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
  if (quarters == NULL || flip == NULL) {
    printf("%s and %s not found\n", kQuarterName, kFlipName);
    return 1;
  }
  if ((RotateFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(1)) != left ||
      (RotateFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(2)) != right ||
      (QuarterTurnsFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(3)) != quarters ||
      (RotateFlipFn)(void*)GetProcAddress(dll, MAKEINTRESOURCEA(4)) != flip) {
    printf("ordinals 1 to 4 do not give RotateLeft90, RotateRight90, RotateQuarterTurns, "
           "RotateFlip\n");
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
  FreeLibrary(dll);
  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
