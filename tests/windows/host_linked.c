/* A host linked against quadturn.dll through its import library. */
#include <quadturn.h>

#include "host_image.h"

int main(void) {
  int failures = 0;
  HGLOBAL h = host_make_image();
  RotateRight90(h);
  failures += host_check_turned(h, 1, "RotateRight90 through the import library");
  RotateLeft90(h);
  RotateLeft90(h);
  failures += host_check_turned(h, 0, "RotateLeft90 through the import library");
  if (!RotateQuarterTurns(h, 2)) ++failures;
  failures += host_check_rows(h, "cf\0\0be\0\0ad\0\0", "RotateQuarterTurns through the import library");
  /* Shown from the top, "ad", "be", "cf" mirrored. */
  if (!RotateFlip(h, QUADTURN_MIRROR)) ++failures;
  failures += host_check_rows(h, "fc\0\0eb\0\0da\0\0", "RotateFlip through the import library");
  GlobalFree(h);
  {
    /* "abc" over "def" transposed in its own bytes: "ad", "be", "cf". */
    char rows[7] = "abcdef";
    if (RotateFlipPixels(rows, 3, rows, 2, 3, 2, 8, QUADTURN_TRANSPOSE) != 0 ||
        memcmp(rows, "adbecf", 6) != 0) {
      printf("RotateFlipPixels through the import library did not transpose the rows\n");
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
