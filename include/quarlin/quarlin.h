/*
 * Quarlin: frame-accurate MPEG-2 video import library.
 *
 * The whole interface is the ten Quarlin_* functions below. The host opens a
 * file, lets the library index it (in slices, with progress), reads the
 * file's geometry and index, may keep the index as an opaque seek-data block
 * to skip indexing next time, and asks for decoded frames by display number,
 * in any order, passing the planes of the frame's references itself. The
 * library keeps no decoded pictures.
 *
 * Calling order:
 *   Quarlin_OpenFile
 *   -> Quarlin_IndexFile, again while the previous call returned -4
 *   -> any of GetFileInfo, GetStartFrameOffset, GetFrameSizes,
 *      GetSeekData/FreeSeekData, GetFrameDependancies, GetFrame,
 *      in any order, any number of times
 *   -> Quarlin_CloseFile.
 * GetFileInfo, GetStartFrameOffset and GetFrameSizes also work while the
 * index is incomplete; GetSeekData, GetFrameDependancies and GetFrame
 * return -4 until it is complete.
 *
 * Threads: calls on one session must not overlap; different sessions may be
 * used from different threads at the same time.
 *
 * Results: every export returns a signed 32-bit result, 0 on success.
 * Every export returns -1 when an exception or processor fault was caught.
 *
 * Records are little-endian. On a 64-bit build pointers are 8 bytes wide: the
 * records keep their field order, HostServices grows to 32 bytes, FileInfo
 * stays 40 bytes and each PlaneSet record stays 16 bytes.
 */
#ifndef QUARLIN_QUARLIN_H
#define QUARLIN_QUARLIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the exports (each export says which it gives). */
#define QUARLIN_OK 0
#define QUARLIN_FAULT (-1)            /* an exception or processor fault; the first index pass failed */
#define QUARLIN_NOT_420 (-2)          /* the stream's chroma format is not 4:2:0 */
#define QUARLIN_FAILED (-3)           /* cannot open or read, not a supported stream, decoding failed */
#define QUARLIN_INDEX_INCOMPLETE (-4) /* call Quarlin_IndexFile (again) first */
#define QUARLIN_NOT_FOUND (-5)        /* the frame is not in the index, or its picture is not in the file */

/* QUARLIN_CALL is the calling convention of the exports and of the host's
 * table entries: the C convention (__cdecl), named so that a host compiled
 * with another default convention still calls and is called correctly. */
#if defined(_WIN32)
#define QUARLIN_CALL __cdecl
#if defined(QUARLIN_BUILDING_LIBRARY)
#define QUARLIN_API __declspec(dllexport)
#else
#define QUARLIN_API __declspec(dllimport)
#endif
#else
#define QUARLIN_CALL
#define QUARLIN_API __attribute__((visibility("default")))
#endif

/* ---- Host service tables --------------------------------------------------
 * The host lends the library its memory manager. Each table is an array of
 * plain function pointers; the library calls only the entries named here.
 * A piece of memory is used as: allocate, lock, use the address, release.
 */
typedef void* QuarlinMemoryHandle;

/* memorySuite[1]: allocate(out handle, 2, size, alignment); 0 = success. */
typedef int32_t (QUARLIN_CALL *QuarlinAllocateFn)(QuarlinMemoryHandle* outHandle, int32_t kind,
                                     uint32_t size, uint32_t alignment);
/* handleSuite[0]: release(handle); the handle and its locked address end. */
typedef void (QUARLIN_CALL *QuarlinReleaseFn)(QuarlinMemoryHandle handle);
/* handleSuite[1]: lock(handle, 2, out address); 0 = the address is valid
 * until release. */
typedef int32_t (QUARLIN_CALL *QuarlinLockFn)(QuarlinMemoryHandle handle, int32_t kind, void** outAddress);
/* cacheSuite[2]: insert(cacheRef, handle, block index). */
typedef void (QUARLIN_CALL *QuarlinCacheInsertFn)(void* cacheRef, QuarlinMemoryHandle handle, int32_t blockIndex);
/* cacheSuite[3]: lookup(cacheRef, block index, out handle); 0 = found. */
typedef int32_t (QUARLIN_CALL *QuarlinCacheLookupFn)(void* cacheRef, int32_t blockIndex,
                                        QuarlinMemoryHandle* outHandle);

typedef struct QuarlinMemorySuite {
  void* reserved0;
  QuarlinAllocateFn allocate; /* entry 1 */
} QuarlinMemorySuite;

typedef struct QuarlinHandleSuite {
  QuarlinReleaseFn release; /* entry 0 */
  QuarlinLockFn lock;       /* entry 1 */
} QuarlinHandleSuite;

typedef struct QuarlinCacheSuite {
  void* reserved0;
  void* reserved1;
  QuarlinCacheInsertFn insert; /* entry 2 */
  QuarlinCacheLookupFn lookup; /* entry 3 (the library never enables its cache path) */
} QuarlinCacheSuite;

/* Input of Quarlin_OpenFile; copied by value into the session. */
typedef struct HostServices {
  const QuarlinCacheSuite* cacheSuite;   /* offset 0 */
  const QuarlinMemorySuite* memorySuite; /* offset 4 (8 on 64-bit) */
  const QuarlinHandleSuite* handleSuite; /* offset 8 (16) */
  void* cacheRef;                        /* offset 12 (24) */
} HostServices;

/* ---- FileInfo: output of Quarlin_GetFileInfo, 40 bytes -------------------- */
typedef struct FileInfo {
  uint32_t width;         /*  0: coded width in pixels */
  uint32_t height;        /*  4: coded height in pixels */
  uint32_t frameCount;    /*  8: frames in the index; 0 until indexing completes */
  uint32_t stride;        /* 12: bytes per luma row, width rounded up to 128 */
  uint8_t progressive;    /* 16: 1 when progressive_sequence is set */
  uint8_t notWritten[7];  /* 17: never written by the library */
  double pixelAspect;     /* 24: written only for aspect_ratio_information 1..4 */
  uint32_t displayWidth;  /* 32: sequence display extension, else width */
  uint32_t displayHeight; /* 36: sequence display extension, else height */
} FileInfo;

/* ---- PlaneSet: the Y, Cb and Cr planes of one picture --------------------
 * Only the address at the start of each 16-byte record is read. Rows of Y
 * lie `stride` bytes apart; chroma rows ((stride / 2) + 127) & ~127 apart. At
 * reduced scales the picture sits top-left with strides of (stride / 2) and
 * (stride / 4), each rounded up to a multiple of 128.
 */
typedef struct QuarlinPlane {
  uint8_t* address;
  uint8_t ignored[16 - sizeof(uint8_t*)];
} QuarlinPlane;

typedef struct PlaneSet {
  QuarlinPlane y;  /*  0 */
  QuarlinPlane cb; /* 16 */
  QuarlinPlane cr; /* 32 */
} PlaneSet;

/* The session behind a handle; opaque to the host. */
typedef struct DecoderSession DecoderSession;

/*
 * Opens `path` (NUL-terminated UTF-16). When `seekData` and `seekDataSize`
 * are both nonzero the block (from Quarlin_GetSeekData) restores the index.
 *   0  opened, index complete       -4 opened, call Quarlin_IndexFile
 *  -1  the first index pass failed  -2 not 4:2:0
 *  -3  cannot open/read, not a supported stream, no or invalid sequence header
 * *outSession is written only for 0 and -4.
 */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_OpenFile(const uint16_t* path, const HostServices* services,
                                                  const void* seekData, int32_t seekDataSize,
                                                  DecoderSession** outSession);

/* One index slice (25 I-pictures). *progress gets 0.0..1.0, exactly 1.0 at
 * the end. 0 complete; -4 call again; -3 the scan failed. */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_IndexFile(DecoderSession* session, float* progress);

/* Destroys the session; null is accepted. Returns 0. */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_CloseFile(DecoderSession* session);

/* Fills *info from the file's first sequence header (whatever was decoded
 * since); frameCount is 0 until indexing completes. Returns 0. */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFileInfo(DecoderSession* session, FileInfo* info);

/* Number of leading frames to skip (never negative), in both outputs. */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetStartFrameOffset(DecoderSession* session, int32_t* startOffset,
                                                             int32_t* startOffset2);

/* Plane sizes to allocate, in bytes: the library reads and writes nothing
 * beyond them, at any scale. luma = max(W * (H + 128), 16 * R * stride) and
 * chroma = max(W * (H + 128) / 4, 8 * R * chroma stride), R = 2 * ceil(H / 32)
 * macroblock rows (the first term alone is too small for some widths). */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrameSizes(DecoderSession* session, int32_t* lumaSize,
                                                       int32_t* chromaSize);

/* The index as a seek-data block (24 + 16 + 32 * entries + 4 + 260 * coding
 * states bytes), owned by the host and released with Quarlin_FreeSeekData.
 * -4 index incomplete; -1 no memory (*data null). */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetSeekData(DecoderSession* session, void** data, int32_t* size);

/* Releases a block from Quarlin_GetSeekData; null is accepted. Returns 0. */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_FreeSeekData(void* data);

/* The frames `frame` is predicted from (-1 where none). Frame numbers run
 * 0 .. frameCount - 1 in the order a decoder displays the frames.
 * 0 ok; -4 index incomplete; -5 frame not in the index (both outputs -1). */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrameDependancies(DecoderSession* session, int32_t frame,
                                                              int32_t* forwardRef, int32_t* backwardRef);

/*
 * Decodes display frame `frame` into `outputPlanes`. `forwardPlanes` and
 * `backwardPlanes` hold the decoded frames named by
 * Quarlin_GetFrameDependancies (a null forward Y address means: use the
 * backward planes for a B-frame, the output planes otherwise).
 * reducedResolution 0 decodes at full size; otherwise reductionMode 1 gives
 * half width and half height, any other value half width, field-coded
 * frames included.
 *   0 ok; -4 index incomplete; -5 the frame's picture was not found;
 *  -3 any other failure (the planes hold what was decoded).
 */
QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrame(DecoderSession* session, int32_t frame,
                                                  const PlaneSet* forwardPlanes, const PlaneSet* backwardPlanes,
                                                  const PlaneSet* outputPlanes, int32_t reducedResolution,
                                                  int32_t reductionMode);

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(HostServices) == 4 * sizeof(void*), "HostServices is four pointers");
static_assert(offsetof(HostServices, cacheSuite) == 0 * sizeof(void*), "cacheSuite");
static_assert(offsetof(HostServices, memorySuite) == 1 * sizeof(void*), "memorySuite");
static_assert(offsetof(HostServices, handleSuite) == 2 * sizeof(void*), "handleSuite");
static_assert(offsetof(HostServices, cacheRef) == 3 * sizeof(void*), "cacheRef");
static_assert(sizeof(FileInfo) == 40, "FileInfo is 40 bytes");
static_assert(offsetof(FileInfo, width) == 0, "width");
static_assert(offsetof(FileInfo, height) == 4, "height");
static_assert(offsetof(FileInfo, frameCount) == 8, "frameCount");
static_assert(offsetof(FileInfo, stride) == 12, "stride");
static_assert(offsetof(FileInfo, progressive) == 16, "progressive");
static_assert(offsetof(FileInfo, pixelAspect) == 24, "pixelAspect");
static_assert(offsetof(FileInfo, displayWidth) == 32, "displayWidth");
static_assert(offsetof(FileInfo, displayHeight) == 36, "displayHeight");
static_assert(sizeof(QuarlinPlane) == 16, "a plane record is 16 bytes");
static_assert(sizeof(PlaneSet) == 48, "PlaneSet is three plane records");
static_assert(offsetof(PlaneSet, cb) == 16 && offsetof(PlaneSet, cr) == 32, "plane offsets");
#endif

#endif /* QUARLIN_QUARLIN_H */
