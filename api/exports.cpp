// The ten exported functions. Each is a thin wrapper that forwards to the
// session inside a catch-all handler: no exception leaves the library.
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/decoder_session.h"
#include "decode/frame_request.h"
#include "quarlin/quarlin.h"

using namespace quarlin;

namespace {

constexpr int32_t kException = -1;

template <class Body>
int32_t guarded(Body&& body) {
  try {
    return body();
  } catch (...) {
    return kException;
  }
}

}  // namespace

extern "C" {

QUARLIN_API int32_t Quarlin_OpenFile(const uint16_t* path, const HostServices* services,
                                     const void* seekData, int32_t seekDataSize,
                                     DecoderSession** outSession) {
  DecoderSession* session = nullptr;
  try {
    session = new DecoderSession(reinterpret_cast<const char16_t*>(path), *services);
  } catch (...) {
    return kException;
  }
  const int32_t result = guarded([&] {
    return session->open(seekData && seekDataSize ? seekData : nullptr, seekDataSize);
  });
  if (result == 0 || result == -4) {
    *outSession = session;
    return result;
  }
  guarded([&] {
    delete session;
    return 0;
  });
  return result;
}

QUARLIN_API int32_t Quarlin_IndexFile(DecoderSession* session, float* progress) {
  return guarded([&] {
    if (!session->indexIncomplete) {
      if (progress) *progress = 1.0f;
      return 0;
    }
    const int32_t result = session->indexSlice(kIndexFileScanBudget, progress);
    if (result == kScanBudgetUsed) return -4;
    return result == 0 ? 0 : -3;
  });
}

QUARLIN_API int32_t Quarlin_CloseFile(DecoderSession* session) {
  return guarded([&] {
    delete session;
    return 0;
  });
}

QUARLIN_API int32_t Quarlin_GetFileInfo(DecoderSession* session, FileInfo* info) {
  return guarded([&] { return session->getFileInfo(info); });
}

QUARLIN_API int32_t Quarlin_GetStartFrameOffset(DecoderSession* session, int32_t* startOffset,
                                                int32_t* startOffset2) {
  return guarded([&] {
    session->frameIndex.getStartFrameOffset(*startOffset, *startOffset2);
    return 0;
  });
}

QUARLIN_API int32_t Quarlin_GetFrameSizes(DecoderSession* session, int32_t* lumaSize,
                                          int32_t* chromaSize) {
  return guarded([&] {
    session->getFrameSizes(*lumaSize, *chromaSize);
    return 0;
  });
}

QUARLIN_API int32_t Quarlin_GetSeekData(DecoderSession* session, void** data, int32_t* size) {
  return guarded([&] {
    if (session->indexIncomplete) return -4;
    const int32_t length = StreamSource::seekDataSize() + session->frameIndex.serialisedSize();
    *data = nullptr;
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
    if (!block) return -1;
    *size = length;
    *data = block;
    session->stream.writeSeekData(block);
    session->frameIndex.serialise(block);
    return 0;
  });
}

QUARLIN_API int32_t Quarlin_FreeSeekData(void* data) {
  return guarded([&] {
    std::free(data);
    return 0;
  });
}

QUARLIN_API int32_t Quarlin_GetFrameDependancies(DecoderSession* session, int32_t frame,
                                                 int32_t* forwardRef, int32_t* backwardRef) {
  return guarded([&] {
    if (session->indexIncomplete) return -4;
    return session->frameIndex.dependencies(frame, *forwardRef, *backwardRef) == 0 ? 0 : -5;
  });
}

QUARLIN_API int32_t Quarlin_GetFrame(DecoderSession* session, int32_t frame,
                                     const PlaneSet* forwardPlanes, const PlaneSet* backwardPlanes,
                                     const PlaneSet* outputPlanes, int32_t reducedResolution,
                                     int32_t reductionMode) {
  return guarded([&] {
    if (session->indexIncomplete) return -4;
    const int32_t result = decodeFrame(*session, frame, forwardPlanes, backwardPlanes, outputPlanes,
                                       reducedResolution, reductionMode);
    if (result == 0) return 0;
    return result == kNoMatchingUnit ? -5 : -3;
  });
}

}  // extern "C"
