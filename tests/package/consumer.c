/* A host built against the installed quadturn: turns a 24-bit image 2 pixels
 * wide and 1 high, mirrors a row of two 8-bit pixels, and checks both. */
#include <quadturn.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  static const unsigned char header[40] = {40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24};
  static const unsigned char row[8] = {1, 2, 3, 4, 5, 6, 0, 0};
  static const unsigned char turned[8] = {4, 5, 6, 0, 1, 2, 3, 0};
  unsigned char pair[2] = {7, 9};
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 48);
  unsigned char* p = (unsigned char*)GlobalLock(h);
  int ok;
  memcpy(p, header, 40);
  memcpy(p + 40, row, 8);
  GlobalUnlock(h);
  RotateRight90(h);
  p = (unsigned char*)GlobalLock(h);
  ok = p[4] == 1 && p[8] == 2 && memcmp(p + 40, turned, 8) == 0;
  GlobalUnlock(h);
  GlobalFree(h);
  ok = ok && RotateFlipPixels(pair, 2, pair, 2, 2, 1, 8, QUADTURN_MIRROR) == 0 && pair[0] == 9 &&
       pair[1] == 7;
  puts(ok ? "consumer: turned" : "consumer: WRONG");
  return ok ? 0 : 1;
}
