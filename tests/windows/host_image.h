/* A small 8-bit image for the host programs, and the check of its turn. */
#ifndef QUADTURN_HOST_IMAGE_H
#define QUADTURN_HOST_IMAGE_H

#include <stdio.h>
#include <string.h>
#include <windows.h>

/* An 8-bit image 3 pixels wide and 2 rows high, rows "abc" and "def", with a
 * 256-entry table. */
static HGLOBAL host_make_image(void) {
  BITMAPINFOHEADER bi;
  HGLOBAL h;
  unsigned char* p;
  memset(&bi, 0, sizeof bi);
  bi.biSize = sizeof bi;
  bi.biWidth = 3;
  bi.biHeight = 2;
  bi.biPlanes = 1;
  bi.biBitCount = 8;
  h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof bi + 1024 + 8);
  p = (unsigned char*)GlobalLock(h);
  memcpy(p, &bi, sizeof bi);
  memcpy(p + sizeof bi + 1024, "abc\0def\0", 8);
  GlobalUnlock(h);
  return h;
}

/* 0 when h holds the image turned clockwise (right) or counter-clockwise. */
static int host_check_turned(HGLOBAL h, int right, const char* how) {
  static const unsigned char kRight[] = "cf\xff\xff" "be\xff\xff" "ad\xff\xff";
  static const unsigned char kLeft[] = "da\xff\xff" "eb\xff\xff" "fc\xff\xff";
  const unsigned char* p = (const unsigned char*)GlobalLock(h);
  const BITMAPINFOHEADER* bi = (const BITMAPINFOHEADER*)p;
  int ok = p != NULL && GlobalSize(h) >= 40 + 1024 + 12 && bi->biWidth == 2 &&
           bi->biHeight == 3 &&
           memcmp(p + 40 + 1024, right ? kRight : kLeft, 12) == 0;
  GlobalUnlock(h);
  printf("%s: %s\n", how, ok ? "turned as expected" : "WRONG RESULT");
  return ok ? 0 : 1;
}

/* 0 when h holds a `width` x `height` 8-bit image whose row bytes are the
 * `n` of `rows`. */
static int host_check_image(HGLOBAL h, LONG width, LONG height, const char* rows, size_t n,
                            const char* how) {
  const unsigned char* p = (const unsigned char*)GlobalLock(h);
  const BITMAPINFOHEADER* bi = (const BITMAPINFOHEADER*)p;
  int ok = p != NULL && GlobalSize(h) >= 40 + 1024 + n && bi->biWidth == width &&
           bi->biHeight == height && memcmp(p + 40 + 1024, rows, n) == 0;
  GlobalUnlock(h);
  printf("%s: %s\n", how, ok ? "as expected" : "WRONG RESULT");
  return ok ? 0 : 1;
}

/* 0 when h holds a 2-wide, 3-high 8-bit image whose 12 row bytes are `rows`. */
static int host_check_rows(HGLOBAL h, const char* rows, const char* how) {
  return host_check_image(h, 2, 3, rows, 12, how);
}

#endif
