/*
 * A minimal host of libquarlin: opens an MPEG-2 file, indexes it with a
 * progress line, decodes one frame and writes its luma plane as a PGM.
 *
 *   cc minimal_host.c $(pkg-config --cflags --libs quarlin) -o minimal_host
 *   ./minimal_host FILE.m2v FRAME OUT.pgm
 *
 * It decodes the frame's references first, recursively, as every host must:
 * the library keeps no decoded pictures.
 */
#define _POSIX_C_SOURCE 200112L /* posix_memalign */
#include <quarlin/quarlin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The host's memory manager: plain aligned heap blocks. */
static int32_t allocateBlock(QuarlinMemoryHandle* handle, int32_t kind, uint32_t size, uint32_t alignment) {
  (void)kind;
  void* block = NULL;
  if (posix_memalign(&block, alignment < sizeof(void*) ? sizeof(void*) : alignment, size ? size : 1) != 0) return -1;
  *handle = block;
  return 0;
}
static void releaseBlock(QuarlinMemoryHandle handle) { free(handle); }
static int32_t lockBlock(QuarlinMemoryHandle handle, int32_t kind, void** address) {
  (void)kind;
  *address = handle;
  return 0;
}
static const QuarlinMemorySuite memorySuite = {NULL, allocateBlock};
static const QuarlinHandleSuite handleSuite = {releaseBlock, lockBlock};
static const QuarlinCacheSuite cacheSuite = {NULL, NULL, NULL, NULL};

typedef struct {
  uint8_t* planes;
  PlaneSet set;
} Picture;

static int32_t lumaSize, chromaSize;

static void newPicture(Picture* p) {
  p->planes = malloc((size_t)lumaSize + 2 * (size_t)chromaSize);
  memset(&p->set, 0, sizeof p->set);
  p->set.y.address = p->planes;
  p->set.cb.address = p->planes + lumaSize;
  p->set.cr.address = p->planes + lumaSize + chromaSize;
}

/* Decodes `frame` into `out`, its references (once each) before it. */
static int32_t decode(DecoderSession* session, int32_t frame, Picture* out) {
  int32_t forward = -1, backward = -1, result;
  Picture refs[2] = {{0}, {0}};
  result = Quarlin_GetFrameDependancies(session, frame, &forward, &backward);
  if (result != QUARLIN_OK) return result;
  if (forward >= 0 && (newPicture(&refs[0]), (result = decode(session, forward, &refs[0])) != QUARLIN_OK)) goto done;
  if (backward >= 0 && (newPicture(&refs[1]), (result = decode(session, backward, &refs[1])) != QUARLIN_OK)) goto done;
  result = Quarlin_GetFrame(session, frame, &refs[0].set, &refs[1].set, &out->set, 0, 0);
done:
  free(refs[0].planes);
  free(refs[1].planes);
  return result;
}

int main(int argc, char** argv) {
  uint16_t path[4096];
  size_t i;
  HostServices services = {&cacheSuite, &memorySuite, &handleSuite, NULL};
  DecoderSession* session = NULL;
  FileInfo info;
  Picture picture;
  float progress = 0;
  int32_t result;
  FILE* out;
  if (argc != 4) {
    fprintf(stderr, "usage: %s FILE FRAME OUT.pgm\n", argv[0]);
    return 2;
  }
  for (i = 0; argv[1][i] && i + 1 < 4096; ++i) path[i] = (uint8_t)argv[1][i]; /* ASCII paths only here */
  path[i] = 0;
  result = Quarlin_OpenFile(path, &services, NULL, 0, &session);
  while (result == QUARLIN_INDEX_INCOMPLETE) {
    result = Quarlin_IndexFile(session, &progress);
    fprintf(stderr, "\rindexing %3.0f%%", progress * 100.0);
  }
  fprintf(stderr, "\n");
  if (result != QUARLIN_OK) {
    fprintf(stderr, "%s: cannot open or index (result %d)\n", argv[1], (int)result);
    Quarlin_CloseFile(session);
    return 1;
  }
  Quarlin_GetFileInfo(session, &info);
  Quarlin_GetFrameSizes(session, &lumaSize, &chromaSize);
  newPicture(&picture);
  result = decode(session, atoi(argv[2]), &picture);
  if (result == QUARLIN_OK && (out = fopen(argv[3], "wb")) != NULL) {
    fprintf(out, "P5\n%u %u\n255\n", (unsigned)info.width, (unsigned)info.height);
    for (i = 0; i < info.height; ++i) fwrite(picture.planes + i * info.stride, 1, info.width, out);
    fclose(out);
    fprintf(stderr, "frame %s of %u: %ux%u\n", argv[2], (unsigned)info.frameCount, (unsigned)info.width,
            (unsigned)info.height);
  } else {
    fprintf(stderr, "%s: frame %s: result %d\n", argv[1], argv[2], (int)result);
  }
  free(picture.planes);
  Quarlin_CloseFile(session);
  return result == QUARLIN_OK ? 0 : 1;
}
