/* A host written as for Windows, against the DIB types of <windows.h> (which
 * quadturn.h brings there and declares itself elsewhere), built and run on
 * both systems: it lays out an 8-bit image with BITMAPINFOHEADER and an
 * RGBQUAD table, turns it, reads the result through the same types and puts
 * a BITMAPFILEHEADER in front of it. */
#include <quadturn.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* The sizes and layouts Windows gives these types. */
typedef char layouts_as_on_windows[
    (sizeof(BYTE) == 1 && sizeof(WORD) == 2 && sizeof(DWORD) == 4 && sizeof(LONG) == 4 &&
     sizeof(BITMAPFILEHEADER) == 14 && offsetof(BITMAPFILEHEADER, bfOffBits) == 10 &&
     sizeof(BITMAPCOREHEADER) == 12 && sizeof(BITMAPINFOHEADER) == 40 &&
     sizeof(BITMAPV4HEADER) == 108 && sizeof(BITMAPV5HEADER) == 124 &&
     offsetof(BITMAPV5HEADER, bV5ProfileData) == 112 && sizeof(RGBQUAD) == 4 &&
     sizeof(RGBTRIPLE) == 3 && offsetof(BITMAPINFO, bmiColors) == 40)
        ? 1
        : -1];

int main(void) {
  /* Stored rows a b c / d e f, bottom-up; a quarter turn clockwise stores
   * c f / b e / a d, each padded to 4 bytes. */
  const LONG width = 3, height = 2;
  const DWORD table = 256 * sizeof(RGBQUAD);
  const DWORD stride = ((DWORD)width * 8 + 31) / 32 * 4;
  static const BYTE turned[3][4] = {{'c', 'f', 0, 0}, {'b', 'e', 0, 0}, {'a', 'd', 0, 0}};
  HGLOBAL h = GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + table + stride * height);
  BITMAPINFOHEADER* bi = (BITMAPINFOHEADER*)GlobalLock(h);
  RGBQUAD* colours = (RGBQUAD*)(bi + 1);
  BYTE* rows = (BYTE*)colours + table;
  BITMAPFILEHEADER file;
  int i, ok;
  bi->biSize = sizeof(BITMAPINFOHEADER);
  bi->biWidth = width;
  bi->biHeight = height;
  bi->biPlanes = 1;
  bi->biBitCount = 8;
  bi->biCompression = BI_RGB;
  bi->biXPelsPerMeter = 3780;
  bi->biYPelsPerMeter = 2835;
  for (i = 0; i < 256; ++i) colours[i].rgbBlue = colours[i].rgbGreen = colours[i].rgbRed = (BYTE)i;
  memcpy(rows, "abc", 3);
  memcpy(rows + stride, "def", 3);
  GlobalUnlock(h);

  if (!RotateQuarterTurns(h, 1)) {
    printf("not turned: error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  bi = (BITMAPINFOHEADER*)GlobalLock(h);
  rows = (BYTE*)(bi + 1) + table;
  ok = bi->biWidth == 2 && bi->biHeight == 3 && bi->biSizeImage == 12 &&
       bi->biXPelsPerMeter == 2835 && bi->biYPelsPerMeter == 3780 &&
       ((RGBQUAD*)(bi + 1))[200].rgbRed == 200 && memcmp(rows, turned, sizeof turned) == 0 &&
       GlobalSize(h) == sizeof(BITMAPINFOHEADER) + table + sizeof turned;
  file.bfType = 0x4D42; /* "BM" */
  file.bfSize = (DWORD)(sizeof file + GlobalSize(h));
  file.bfReserved1 = file.bfReserved2 = 0;
  file.bfOffBits = (DWORD)(sizeof file + sizeof(BITMAPINFOHEADER) + table);
  ok = ok && file.bfOffBits == 1078;
  GlobalUnlock(h);
  GlobalFree(h);
  puts(ok ? "dib types host: turned" : "dib types host: WRONG");
  return ok ? 0 : 1;
}
