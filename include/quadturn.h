/* quadturn: turns a packed device-independent bitmap held in a global memory
 * block a quarter turn (or any number of them), under the same handle. */
#ifndef QUADTURN_H
#define QUADTURN_H

#ifdef _WIN32

#include <windows.h>

#else /* !_WIN32 */

/* Elsewhere the library carries its own global memory service with the Win32
 * names and signatures, so a host written against <windows.h> builds as is. */
#include <stddef.h>

typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned int DWORD;
typedef size_t SIZE_T;
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
#define ERROR_NOT_LOCKED 158L

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

#ifdef __cplusplus
}
#endif

#endif /* QUADTURN_H */
