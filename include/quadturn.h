/* quadturn: turns a packed device-independent bitmap held in a movable global
 * memory block a quarter turn, clockwise or counter-clockwise, in place. */
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

#ifdef __cplusplus
}
#endif

#endif /* QUADTURN_H */
