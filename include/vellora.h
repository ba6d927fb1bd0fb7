/*
 * vellora.h - draw Windows metafiles (EMF, WMF, placeable WMF) anti-aliased,
 * rotated and cropped into a rectangle of a device context.
 *
 * On Windows this header declares the three exports of Vellora.dll over the
 * platform's own types. Elsewhere it also defines the few Windows types the
 * exports take, and a small host API that gives a program device contexts over
 * its own pixel memory and metafile handles from bytes.
 *
 * Every function is safe to call from many threads at once; none keeps state
 * between calls. Pixels are 32-bit premultiplied BGRA (bytes in memory order
 * blue, green, red, alpha).
 */
#ifndef VELLORA_H
#define VELLORA_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#define VELLORA_API __stdcall
#else
#define VELLORA_API

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HDC__ *HDC;                   /* device context */
typedef struct HENHMETAFILE__ *HENHMETAFILE; /* enhanced-metafile handle */
typedef uint16_t WCHAR;                      /* one UTF-16 code unit */

#ifndef VELLORA_NO_WIN_TYPES
typedef struct tagRECT {
    int32_t left, top, right, bottom;
} RECT;

typedef struct tagSIZEL {
    int32_t cx, cy;
} SIZEL;

/* The enhanced-metafile header, as the platform lays it out (108 bytes). */
typedef struct tagENHMETAHEADER {
    uint32_t iType;          /* 1 */
    uint32_t nSize;          /* size of the header record in bytes */
    RECT rclBounds;          /* bounds of the picture, device units */
    RECT rclFrame;           /* frame of the picture, 0.01 mm, inclusive */
    uint32_t dSignature;     /* 0x464D4520, " EMF" */
    uint32_t nVersion;
    uint32_t nBytes;         /* size of the whole metafile */
    uint32_t nRecords;
    uint16_t nHandles;
    uint16_t sReserved;
    uint32_t nDescription;
    uint32_t offDescription;
    uint32_t nPalEntries;
    SIZEL szlDevice;         /* reference device, pixels */
    SIZEL szlMillimeters;    /* reference device, millimetres */
    uint32_t cbPixelFormat;
    uint32_t offPixelFormat;
    uint32_t bOpenGL;
    SIZEL szlMicrometers;
} ENHMETAHEADER;
#endif

#ifdef __cplusplus
}
#endif
#endif /* _WIN32 */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The largest target the drawing calls accept, in pixels: a width up to
 * VELLORA_MAX_WIDTH, a height up to VELLORA_MAX_HEIGHT, and
 * (width + 1) * (height + 1) up to VELLORA_MAX_AREA (the call's two working
 * bitmaps then take at most 1 GiB: a little more than 5000 x 5000). A
 * rectangle beyond them, or with right < left or bottom < top, gives 0 before
 * anything is allocated.
 */
#define VELLORA_MAX_WIDTH 32767
#define VELLORA_MAX_HEIGHT 1048576
#define VELLORA_MAX_AREA 33554432

/*
 * Draws `metafile` into `rect` of `hdc` (logical units, right and bottom
 * inclusive), turned by `angle` radians counterclockwise about the middle of
 * the rectangle, showing the part of the picture that the crop window
 * (x0, y0)-(x1, y1) selects, in fractions of the picture's width and height.
 * Painted pixels are drawn with the coverage K, the low byte of `key`, and
 * the result is alpha-blended over what `hdc` shows: where the picture covers
 * a pixel wholly, the drawing's alpha is 255 for K = 255 and
 * 255 - ((255 - K) * 255 >> 8) below it (K + 1 for K from 1 to 254, so 129
 * for 128); K = 0 draws nothing. Edges get proportionally less. The caller
 * keeps `hdc`, `metafile` and `rect`. Returns 1 on success, 0 on failure
 * (null arguments, a rectangle beyond the limits above, an absurd crop
 * window, a non-finite angle, a refused blend).
 */
unsigned char VELLORA_API Vellora(HDC hdc, HENHMETAFILE metafile, const RECT *rect,
                                  int32_t key, double angle,
                                  double x0, double y0, double x1, double y1);

/*
 * Loads the metafile file `fileName` (placeable WMF, EMF or plain WMF; 8-bit
 * path in the locale's character set) and draws it whole into `rect` as
 * Vellora does. When the low byte of `keepAspect` is nonzero the rectangle is
 * first shrunk, keeping its top-left corner, to the picture's aspect ratio;
 * the caller's rectangle is never written. Returns 1 on success, 0 on failure.
 */
unsigned char VELLORA_API VelloraFile(HDC hdc, const char *fileName, const RECT *rect,
                                      int32_t key, int32_t keepAspect, double angle);

/* As VelloraFile, with a zero-terminated UTF-16 path. */
unsigned char VELLORA_API VelloraFileW(HDC hdc, const WCHAR *fileName, const RECT *rect,
                                       int32_t key, int32_t keepAspect, double angle);

#ifndef _WIN32
/* ---- Host API of the native build ------------------------------------- */

/*
 * A device context over caller-owned 32-bit premultiplied BGRA memory of
 * `width` x `height` pixels, rows top-down `stride` bytes apart (cairo's
 * ARGB32 layout on little-endian machines). Logical units are pixels. The
 * memory must outlive the device context. Returns null for a null pointer,
 * a size below 1, or a stride smaller than 4 * width.
 */
HDC VelloraCreateBitmapDC(void *bits, int width, int height, int stride);

/*
 * A device context that refuses alpha blending, as a device without an
 * alpha channel (a printer or a metafile recorder) does: Vellora into it
 * returns 0 and changes nothing. Delete it with VelloraDeleteDC.
 */
HDC VelloraCreateNoAlphaDC(void);

/* Releases a device context made by the functions above. Null is ignored. */
void VelloraDeleteDC(HDC hdc);

/*
 * An enhanced-metafile handle from EMF bytes (copied; the caller keeps
 * `data`), or null when the bytes are not an enhanced metafile.
 */
HENHMETAFILE VelloraSetEnhMetaFileBits(unsigned size, const unsigned char *data);

/*
 * An enhanced-metafile handle from Windows-metafile bytes (without the
 * placeable header), or null when the bytes are not a Windows metafile.
 */
HENHMETAFILE VelloraSetWinMetaFileBits(unsigned size, const unsigned char *data);

/*
 * Copies up to `size` bytes of the metafile's header into `header`; with a
 * null `header` returns the header's size. Returns the number of bytes
 * copied, 0 for a null handle.
 */
unsigned VelloraGetEnhMetaFileHeader(HENHMETAFILE metafile, unsigned size,
                                     ENHMETAHEADER *header);

/* Releases a metafile handle. Null is ignored. */
void VelloraDeleteEnhMetaFile(HENHMETAFILE metafile);

/*
 * Finds the installed fonts now, as the first text drawn would otherwise do
 * (a few milliseconds). A host may call it on a spare thread at start-up;
 * it is safe from any thread at any time, and later calls return at once.
 */
void VelloraLoadFonts(void);

/*
 * The number of device contexts, bitmaps and metafile handles the library
 * holds alive right now, the host's own included. For leak checks.
 */
long VelloraLiveObjects(void);

/* ---- Pictures, and why a call failed ----------------------------------- */

/* What the functions below return: VELLORA_OK, or why they failed. */
#define VELLORA_OK 0
#define VELLORA_ERROR_ARGUMENT 1  /* a null argument, or a non-finite angle or crop value */
#define VELLORA_ERROR_OPEN 2      /* the file cannot be opened or is not a regular file */
#define VELLORA_ERROR_READ 3      /* the file cannot be read whole */
#define VELLORA_ERROR_TOO_LARGE 4 /* the data is over 1 GiB */
#define VELLORA_ERROR_FORMAT 5    /* the data is not a metafile the library accepts */
#define VELLORA_ERROR_SIZE 6      /* the rectangle is empty, reversed or over VELLORA_MAX_* */
#define VELLORA_ERROR_CROP 7      /* the crop window selects nothing of the picture */
#define VELLORA_ERROR_MEMORY 8    /* out of memory */
#define VELLORA_ERROR_BLEND 9     /* the device context refuses alpha blending */
#define VELLORA_ERROR_NO_SIZE 10  /* the picture's frame is empty: it has no natural size */

/* A short English sentence for a status, such as "the file cannot be
 * opened"; never null (unknown values get "unknown error"). */
const char *VelloraStatusMessage(int status);

/* The three formats a picture may come from. */
#define VELLORA_FORMAT_EMF 1
#define VELLORA_FORMAT_WMF 2
#define VELLORA_FORMAT_PLACEABLE_WMF 3

/*
 * A metafile picture opened from a file or from memory, in any of the three
 * formats, recognised as the file variants above recognise them. It keeps
 * what the file says of its size: an EMF's frame, a placeable WMF's bounding
 * box and units per inch, or the frame of a plain WMF as converted. A picture
 * is read-only once opened and may be drawn from many threads at once.
 */
typedef struct VelloraPicture VelloraPicture;

/* Opens the file at `path` (as the system names it; UTF-8 on most systems).
 * On success *picture receives a picture to release with
 * VelloraClosePicture; on failure it receives null. */
int VelloraOpenFile(const char *path, VelloraPicture **picture);

/* The same from `size` bytes at `data`, which are copied. */
int VelloraOpenMemory(const void *data, size_t size, VelloraPicture **picture);

/* Releases a picture. Null is ignored. */
void VelloraClosePicture(VelloraPicture *picture);

/* VELLORA_FORMAT_*, or 0 for a null picture. */
int VelloraPictureFormat(const VelloraPicture *picture);

/* The picture's aspect ratio (width / height) as keepAspect uses it. */
float VelloraPictureAspect(const VelloraPicture *picture);

/*
 * The picture's natural size in pixels at `dpi`: its physical size (frame in
 * 0.01 mm, or bounding box in units per inch, 1440 when the header says 0)
 * times dpi, rounded. The size may be beyond VELLORA_MAX_*; a caller scales
 * it down to draw it whole.
 */
int VelloraPictureSize(const VelloraPicture *picture, double dpi, int *width, int *height);

/* A placeable WMF's header fields; VELLORA_ERROR_FORMAT for other formats. */
typedef struct VelloraPlaceableHeader {
    int16_t left, top, right, bottom; /* bounding box, in units */
    uint16_t unitsPerInch;
} VelloraPlaceableHeader;
int VelloraPicturePlaceableHeader(const VelloraPicture *picture, VelloraPlaceableHeader *header);

/* The picture's metafile handle, owned by the picture: for Vellora. */
HENHMETAFILE VelloraPictureMetafile(const VelloraPicture *picture);

/*
 * Draws the picture as Vellora does, after fitting a copy of `rect` to its
 * aspect ratio when the low byte of `keepAspect` is nonzero (as VelloraFile
 * does). Returns VELLORA_OK, or why nothing was drawn.
 */
int VelloraDrawPicture(HDC hdc, const VelloraPicture *picture, const RECT *rect, int32_t key,
                       int32_t keepAspect, double angle, double x0, double y0, double x1,
                       double y1);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_H */
