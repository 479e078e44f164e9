/* quadturn: turns and flips a packed device-independent bitmap held in a
 * global memory block (a quarter turn, any number of them, a mirror, a flip,
 * a transpose), under the same handle; and the same for pixels in any
 * buffer of the caller's. */
#ifndef QUADTURN_H
#define QUADTURN_H

#ifdef _WIN32

#include <windows.h>

#else /* !_WIN32 */

/* Elsewhere the library carries its own global memory service with the Win32
 * names and signatures, so a host written against <windows.h> builds as is. */
#include <stddef.h>

/* The types <windows.h> gives a host, with their Windows sizes: LONG and
 * DWORD are 32 bits (long is 64 on most 64-bit systems other than Windows).
 * Libraries that bring some of them on Linux where <windows.h> is absent
 * (FreeImage) test and define _WINDOWS_ as this block does, with the same
 * sizes and layouts: whichever header comes first defines them. */
#ifndef _WINDOWS_
#define _WINDOWS_
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef int LONG;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagRGBTRIPLE {
  BYTE rgbtBlue;
  BYTE rgbtGreen;
  BYTE rgbtRed;
} RGBTRIPLE;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO;
#endif /* _WINDOWS_ */

typedef int INT;
typedef unsigned int UINT;
typedef size_t SIZE_T;
typedef ptrdiff_t LONG_PTR;
typedef BYTE *PBYTE, *LPBYTE;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef void *HANDLE;
typedef HANDLE HGLOBAL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_LOCKCOUNT 0x00FF
#define GMEM_DISCARDED 0x4000
#define GMEM_INVALID_HANDLE 0x8000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_NOT_LOCKED 158L

/* The DIB types of <windows.h>, with their layouts and sizes there: a file
 * header of 14 bytes (packed), info headers of 12, 40, 108 and 124 bytes,
 * colour entries of 4 and 3. */
#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER, *PBITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAPCOREHEADER {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
} BITMAPCOREHEADER, *PBITMAPCOREHEADER, *LPBITMAPCOREHEADER;

typedef LONG FXPT2DOT30;
typedef struct tagCIEXYZ {
  FXPT2DOT30 ciexyzX;
  FXPT2DOT30 ciexyzY;
  FXPT2DOT30 ciexyzZ;
} CIEXYZ;
typedef struct tagICEXYZTRIPLE {
  CIEXYZ ciexyzRed;
  CIEXYZ ciexyzGreen;
  CIEXYZ ciexyzBlue;
} CIEXYZTRIPLE;

typedef struct {
  DWORD bV4Size;
  LONG bV4Width;
  LONG bV4Height;
  WORD bV4Planes;
  WORD bV4BitCount;
  DWORD bV4V4Compression;
  DWORD bV4SizeImage;
  LONG bV4XPelsPerMeter;
  LONG bV4YPelsPerMeter;
  DWORD bV4ClrUsed;
  DWORD bV4ClrImportant;
  DWORD bV4RedMask;
  DWORD bV4GreenMask;
  DWORD bV4BlueMask;
  DWORD bV4AlphaMask;
  DWORD bV4CSType;
  CIEXYZTRIPLE bV4Endpoints;
  DWORD bV4GammaRed;
  DWORD bV4GammaGreen;
  DWORD bV4GammaBlue;
} BITMAPV4HEADER, *PBITMAPV4HEADER, *LPBITMAPV4HEADER;

typedef struct {
  DWORD bV5Size;
  LONG bV5Width;
  LONG bV5Height;
  WORD bV5Planes;
  WORD bV5BitCount;
  DWORD bV5Compression;
  DWORD bV5SizeImage;
  LONG bV5XPelsPerMeter;
  LONG bV5YPelsPerMeter;
  DWORD bV5ClrUsed;
  DWORD bV5ClrImportant;
  DWORD bV5RedMask;
  DWORD bV5GreenMask;
  DWORD bV5BlueMask;
  DWORD bV5AlphaMask;
  DWORD bV5CSType;
  CIEXYZTRIPLE bV5Endpoints;
  DWORD bV5GammaRed;
  DWORD bV5GammaGreen;
  DWORD bV5GammaBlue;
  DWORD bV5Intent;
  DWORD bV5ProfileData;
  DWORD bV5ProfileSize;
  DWORD bV5Reserved;
} BITMAPV5HEADER, *PBITMAPV5HEADER, *LPBITMAPV5HEADER;

typedef RGBQUAD *LPRGBQUAD;
typedef RGBTRIPLE *PRGBTRIPLE, *LPRGBTRIPLE;
typedef BITMAPINFOHEADER *LPBITMAPINFOHEADER;
typedef BITMAPINFO *LPBITMAPINFO;

typedef struct tagBITMAPCOREINFO {
  BITMAPCOREHEADER bmciHeader;
  RGBTRIPLE bmciColors[1];
} BITMAPCOREINFO, *PBITMAPCOREINFO, *LPBITMAPCOREINFO;

#ifndef BI_RGB
#define BI_RGB 0L
#endif
#ifndef BI_RLE8
#define BI_RLE8 1L
#endif
#ifndef BI_RLE4
#define BI_RLE4 2L
#endif
#ifndef BI_BITFIELDS
#define BI_BITFIELDS 3L
#endif
#ifndef BI_JPEG
#define BI_JPEG 4L
#endif
#ifndef BI_PNG
#define BI_PNG 5L
#endif

#define LCS_CALIBRATED_RGB 0x00000000L
#define LCS_sRGB 0x73524742L
#define LCS_WINDOWS_COLOR_SPACE 0x57696E20L
#define PROFILE_LINKED 0x4C494E4BL
#define PROFILE_EMBEDDED 0x4D424544L

#ifdef __cplusplus
extern "C" {
#endif

/* Movable blocks (GMEM_MOVEABLE) are named by a handle and locked to reach
 * their bytes; fixed blocks (GMEM_FIXED, GPTR) are named by their address,
 * as on Windows. */
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
UINT WINAPI GlobalFlags(HGLOBAL hMem);
HGLOBAL WINAPI GlobalHandle(LPCVOID pMem);

/* The calling thread's last error, as on Windows. */
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#ifdef __cplusplus
extern "C" {
#endif

/* Turn the packed DIB in hDib a quarter turn clockwise (Right) or
 * counter-clockwise (Left). 1-, 8- and 24-bit uncompressed bottom-up images
 * are turned: width and height are exchanged and the block is re-sized to fit
 * under the same handle. Any other image, and any image the call cannot finish
 * (a block too short for its header, a failed allocation), is left exactly as
 * it was. The block may move: lock it again to read the result.
 *
 * Returns the result of the call's last GlobalUnlock of hDib: 0 when the block
 * ends unlocked, non-zero while the caller still holds a lock of its own. It is
 * not a success flag; compare the header to tell whether the image turned. */
BOOL WINAPI RotateRight90(HGLOBAL hDib);
BOOL WINAPI RotateLeft90(HGLOBAL hDib);

/* Turn the packed DIB in hDib `turns` quarter turns clockwise (negative:
 * counter-clockwise; only turns modulo 4 matters, 0 checks the image and
 * changes nothing). Every uncompressed DIB: 1, 4, 8, 16, 24 and 32 bits per
 * pixel, BI_RGB and (at 16 and 32 bits) BI_BITFIELDS and BI_ALPHABITFIELDS, bottom-up and
 * top-down, any header of 40 bytes or more. A quarter turn exchanges width
 * and height and the two resolutions, restates biSizeImage, keeps the colour
 * table, masks and counts, and re-sizes the block to fit; a half turn moves
 * only the pixels, in place. Rows are padded with 0.
 *
 * Returns TRUE when hDib holds the turned image (the last error is then as
 * it was). Returns FALSE with the image untouched (bytes, size, lock count)
 * and GetLastError() saying why: ERROR_INVALID_HANDLE (not a block that can
 * be locked), ERROR_INVALID_DATA (header and block inconsistent: too short,
 * negative width, sizes past 2^31 - 1), ERROR_NOT_SUPPORTED (compressed or
 * otherwise not turnable), ERROR_NOT_ENOUGH_MEMORY (a block, lock or re-size
 * could not be had). */
BOOL WINAPI RotateQuarterTurns(HGLOBAL hDib, int turns);

/* RotateFlip's types, numbered as GDI+'s RotateFlipType (and .NET's), under
 * names of this library's own that do not clash with <gdiplus.h>'s: a number
 * of quarter turns clockwise, then (4-7) a left-right mirror. As the picture
 * is displayed, pixel (x', y') of the result (rows from the top) is pixel
 * (x, y) of the image W wide and H high:
 *   0 none        (x', y')            4 mirror       (W-1-x', y')
 *   1 right       (y', H-1-x')        5 transpose    (y', x')
 *   2 half        (W-1-x', H-1-y')    6 flip         (x', H-1-y')
 *   3 left        (W-1-y', x')        7 transverse   (W-1-y', H-1-x')  */
#define QUADTURN_ROTATE_NONE_FLIP_NONE 0
#define QUADTURN_ROTATE_90_FLIP_NONE 1
#define QUADTURN_ROTATE_180_FLIP_NONE 2
#define QUADTURN_ROTATE_270_FLIP_NONE 3
#define QUADTURN_ROTATE_NONE_FLIP_X 4
#define QUADTURN_ROTATE_90_FLIP_X 5
#define QUADTURN_ROTATE_180_FLIP_X 6
#define QUADTURN_ROTATE_270_FLIP_X 7
/* The same eight by their other names: a top-bottom flip (Y) is a
 * left-right one (X) turned by a half, both flips a half turn. */
#define QUADTURN_ROTATE_NONE_FLIP_Y QUADTURN_ROTATE_180_FLIP_X
#define QUADTURN_ROTATE_90_FLIP_Y QUADTURN_ROTATE_270_FLIP_X
#define QUADTURN_ROTATE_180_FLIP_Y QUADTURN_ROTATE_NONE_FLIP_X
#define QUADTURN_ROTATE_270_FLIP_Y QUADTURN_ROTATE_90_FLIP_X
#define QUADTURN_ROTATE_NONE_FLIP_XY QUADTURN_ROTATE_180_FLIP_NONE
#define QUADTURN_ROTATE_90_FLIP_XY QUADTURN_ROTATE_270_FLIP_NONE
#define QUADTURN_ROTATE_180_FLIP_XY QUADTURN_ROTATE_NONE_FLIP_NONE
#define QUADTURN_ROTATE_270_FLIP_XY QUADTURN_ROTATE_90_FLIP_NONE
#define QUADTURN_NONE QUADTURN_ROTATE_NONE_FLIP_NONE
#define QUADTURN_RIGHT QUADTURN_ROTATE_90_FLIP_NONE
#define QUADTURN_HALF QUADTURN_ROTATE_180_FLIP_NONE
#define QUADTURN_LEFT QUADTURN_ROTATE_270_FLIP_NONE
#define QUADTURN_MIRROR QUADTURN_ROTATE_NONE_FLIP_X
#define QUADTURN_TRANSPOSE QUADTURN_ROTATE_90_FLIP_X
#define QUADTURN_FLIP QUADTURN_ROTATE_180_FLIP_X
#define QUADTURN_TRANSVERSE QUADTURN_ROTATE_270_FLIP_X

/* Give the packed DIB in hDib the orientation `type` (0-7, above), inside
 * its block, under the same handle; the contract of RotateQuarterTurns, of
 * which types 0-3 are the same calls. Types 1, 3, 5 and 7 exchange width,
 * height and the resolutions and re-size the block; 0, 2, 4 and 6 move only
 * the pixels. Returns TRUE, or FALSE with the image untouched and
 * GetLastError() saying why: RotateQuarterTurns' four reasons, and
 * ERROR_INVALID_PARAMETER for a type outside 0-7. */
BOOL WINAPI RotateFlip(HGLOBAL hDib, int type);

/* Give the `width` x `height` pixels at `src` (row 0 the top one, rows
 * src_stride bytes apart; negative for an image given by its last row) the
 * orientation `type` (0-7, above) at `dst`, rows dst_stride bytes apart:
 * types 1, 3, 5 and 7 make `height` x `width` pixels. Pixels of
 * bits_per_pixel each: 1, 2 or 4 (most significant first within a byte),
 * or any whole number of bytes from 1 to 32 (8 to 256 bits), moved as
 * opaque bytes: samples in any order, planes one call each.
 *
 * Out of place (dst != src, the two not overlapping): only the result's
 * pixels are written; the bits and bytes behind each row's pixels stay as
 * they were, the source's are never read, the source is unchanged.
 *
 * In place (dst == src, both strides positive; dst_stride the result's,
 * equal to src_stride for types 0, 2, 4 and 6): the memory from src on
 * holds the larger of height x src_stride and, for 1, 3, 5 and 7, width x
 * dst_stride bytes. No second image is made; what lies behind the result's
 * pixels in each row afterwards is unspecified.
 *
 * Returns 0, or ERROR_INVALID_PARAMETER (another pixel size or type, a
 * negative width or height, a stride smaller than its row's bytes, a null
 * pointer where there are pixels, in place with a negative stride or, for a
 * type that keeps the shape, another stride, source and destination that
 * overlap without being the same, a buffer past the end of the address
 * space), or ERROR_NOT_ENOUGH_MEMORY (the working memory of a few rows and
 * columns could not be had; nothing was written). Leaves the last error as
 * it was. */
DWORD WINAPI RotateFlipPixels(const void *src, LONG_PTR src_stride, void *dst,
                              LONG_PTR dst_stride, LONG width, LONG height,
                              int bits_per_pixel, int type);

/* The type that shows upright an image stored under TIFF or EXIF
 * orientation 1-8 (0 for any other value): 2 is mirrored, 3 half turned, 4
 * flipped, 5 transposed, 6 and 8 turned a quarter turn left and right, 7
 * transversed. */
#if defined(_MSC_VER) && !defined(__cplusplus)
static __inline int QuadturnUprightType(int orientation)
#else
static inline int QuadturnUprightType(int orientation)
#endif
{
  static const int kType[9] = {0, 0, 4, 2, 6, 5, 1, 7, 3};
  return orientation >= 1 && orientation <= 8 ? kType[orientation] : 0;
}

#ifdef __cplusplus
}
#endif

#endif /* QUADTURN_H */
