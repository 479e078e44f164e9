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
  GlobalFree(h);
  return failures == 0 ? 0 : 1;
}
