/* VesprineDovetide: drive the display host from a host application.
 *
 * Every function below turns its arguments into one fixed-layout message on
 * the display host's named pipe \\.\pipe\VesprinePipe (on Linux, the abstract
 * socket "VesprinePipe"). The library draws nothing and keeps no state but the
 * connection; it only writes.
 *
 * Rules that hold for every function:
 *  - The result is 1 when the message was delivered to the pipe and 0 when it
 *    was not: no display host could be reached, the write failed (the
 *    connection is then closed and the next call connects anew) or memory for
 *    the message could not be obtained. Init and Dispose say their own. On
 *    Linux, a display host running as a user other than the caller's or root
 *    counts as none: it is left at once, sent nothing, and the result is 0.
 *  - The first call connects by itself; Init is optional.
 *  - Strings are NUL-terminated byte strings and pass through unchanged; no
 *    encoding is converted. A NULL string, or one too long for its bound
 *    (which counts the NUL), is sent as the empty string. At most `bound`
 *    bytes of a string are ever read.
 *  - Integers are passed on unchanged; no range is checked.
 *  - A call blocks until the pipe has taken the whole message: a display host
 *    that stops reading keeps the caller waiting, with no time-out.
 *  - Calls come from one thread at a time; the library takes no locks.
 */
#ifndef VESPRINE_DOVETIDE_H
#define VESPRINE_DOVETIDE_H

#include <stdint.h>

/* The library's version; the build reads it from here. */
#define VESPRINE_VERSION_MAJOR 1
#define VESPRINE_VERSION_MINOR 0
#define VESPRINE_VERSION_PATCH 0
#define VESPRINE_VERSION "1.0.0"

/* Linkage of every declaration below. */
#ifndef VESPRINE_API
#  ifdef __cplusplus
#    define VESPRINE_API extern "C"
#  else
#    define VESPRINE_API extern
#  endif
#endif

/* Calling convention: cdecl on 32-bit Windows, the platform's own elsewhere. */
#ifndef VESPRINE_CALL
#  if defined(_WIN32) && !defined(_WIN64)
#    define VESPRINE_CALL __cdecl
#  else
#    define VESPRINE_CALL
#  endif
#endif

/* ---- Connection ---------------------------------------------------------- */

/* Connects to the display host, first closing a connection already held.
 * Sends nothing. Returns 1 when connected, 0 when no display host accepts
 * (the library is then disconnected). */
VESPRINE_API int32_t VESPRINE_CALL Init(void);

/* Closes the connection. Sends nothing. Returns 1 when the close succeeded,
 * 0 when it failed or no connection was held; disconnected either way. */
VESPRINE_API int32_t VESPRINE_CALL Dispose(void);

/* ---- Drawing ------------------------------------------------------------- */

/* Sets the colour of the drawing commands that follow (code 5). */
VESPRINE_API int32_t VESPRINE_CALL SetColor(int32_t color1, int32_t color2, int32_t color3, int32_t alpha);

/* Draws a pixel at (x, y) (code 1). */
VESPRINE_API int32_t VESPRINE_CALL DrawPixel(int32_t x, int32_t y);

/* Draws a line from (x, y) to (x2, y2) (code 4). */
VESPRINE_API int32_t VESPRINE_CALL DrawLine(int32_t x, int32_t y, int32_t x2, int32_t y2);

/* Draws a rectangle (code 2) or an ellipse (code 29) at (x, y) of width by
 * height; shapeParam is carried to the display host unchanged. */
VESPRINE_API int32_t VESPRINE_CALL DrawRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam);
VESPRINE_API int32_t VESPRINE_CALL DrawEllipse(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam);

/* Draws text at (x, y) (code 3); textParam is carried unchanged. Text of up
 * to 4095 bytes is sent; longer or NULL text is sent empty. */
VESPRINE_API int32_t VESPRINE_CALL DrawString(int32_t x, int32_t y, const char* text, int32_t textParam);

/* Draws the image file at path at (x, y) (code 7), or scaled to width by
 * height with alpha (code 8). Paths of up to 4095 bytes are sent; longer or
 * NULL paths are sent empty. */
VESPRINE_API int32_t VESPRINE_CALL DrawImage(const char* path, int32_t x, int32_t y);
VESPRINE_API int32_t VESPRINE_CALL DrawImageScaled(const char* path, int32_t x, int32_t y, int32_t width, int32_t height, int32_t alpha);

/* Clears the drawing (code 9). */
VESPRINE_API int32_t VESPRINE_CALL DrawClear(void);

/* ---- Sprites ------------------------------------------------------------- */
/* Names of up to 127 bytes are sent; longer or NULL names are sent empty.
 * The commands without a name act on the display host's current sprite. */

/* Creates a sprite of width by height under name (code 10). */
VESPRINE_API int32_t VESPRINE_CALL CreateSprite(const char* name, int32_t width, int32_t height);

/* Disposes of the named sprite (11), the current one (12) or all (13). */
VESPRINE_API int32_t VESPRINE_CALL DisposeSprite(const char* name);
VESPRINE_API int32_t VESPRINE_CALL DisposeCurrentSprite(void);
VESPRINE_API int32_t VESPRINE_CALL DisposeAllSprites(void);

/* Makes the named sprite the current one (code 14). */
VESPRINE_API int32_t VESPRINE_CALL SetEditSprite(const char* name);

/* Set the current sprite's bound (15), Z value (16), visibility (17),
 * alpha (18) and O-point (19). */
VESPRINE_API int32_t VESPRINE_CALL SetBound(int32_t x, int32_t y);
VESPRINE_API int32_t VESPRINE_CALL SetZ(int32_t z);
VESPRINE_API int32_t VESPRINE_CALL SetVisible(int32_t visible);
VESPRINE_API int32_t VESPRINE_CALL SetAlpha(int32_t alpha);
VESPRINE_API int32_t VESPRINE_CALL SetOPoint(int32_t x, int32_t y);

/* ---- Display settings ---------------------------------------------------- */

/* Sets the display resolution to width by height (code 26). */
VESPRINE_API int32_t VESPRINE_CALL SetResolution(int32_t width, int32_t height);

/* Sets the background to the image file at path with alpha (code 27).
 * Paths of up to 127 bytes are sent; longer or NULL paths are sent empty. */
VESPRINE_API int32_t VESPRINE_CALL SetBackground(const char* path, int32_t alpha);

/* Tell the display host to read the strings it receives as UTF-8 or as
 * Shift-JIS (code 28). The library itself converts nothing. */
VESPRINE_API int32_t VESPRINE_CALL SetEncodingUTF8(void);
VESPRINE_API int32_t VESPRINE_CALL SetEncodingShiftJIS(void);

/* ---- Logging ------------------------------------------------------------- */
/* Hand one log line to the display host, with severity verbose (code 20),
 * debug (21), info (22), warning (23), error (24) or critical (25). Lines of
 * up to 65535 bytes are sent as they are; longer or NULL lines are sent
 * empty. Nothing is added and nothing is kept for later. */
VESPRINE_API int32_t VESPRINE_CALL LogV(const char* text);
VESPRINE_API int32_t VESPRINE_CALL LogD(const char* text);
VESPRINE_API int32_t VESPRINE_CALL LogI(const char* text);
VESPRINE_API int32_t VESPRINE_CALL LogW(const char* text);
VESPRINE_API int32_t VESPRINE_CALL LogE(const char* text);
VESPRINE_API int32_t VESPRINE_CALL LogC(const char* text);

#endif /* VESPRINE_DOVETIDE_H */
