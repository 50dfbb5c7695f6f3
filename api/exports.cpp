// The ten exported functions. Each is a thin wrapper that forwards to the
// session inside a catch-all handler: no exception leaves the library, and
// where the system reports processor faults to the process (Windows) none
// of those either (platform/fault_guard.h).
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/decoder_session.h"
#include "decode/frame_request.h"
#include "platform/fault_guard.h"
#include "quarlin/quarlin.h"

using namespace quarlin;

namespace {

template <class Body>
int32_t guarded(Body&& body) {
  return platform::runCatchingFaults(
      [](void* context) -> int32_t {
        try {
          return (*static_cast<Body*>(context))();
        } catch (...) {
          return QUARLIN_FAULT;
        }
      },
      &body, QUARLIN_FAULT);
}

}  // namespace

extern "C" {

QUARLIN_API int32_t QUARLIN_CALL Quarlin_OpenFile(const uint16_t* path, const HostServices* services,
                                                  const void* seekData, int32_t seekDataSize,
                                                  DecoderSession** outSession) {
  DecoderSession* session = nullptr;
  if (guarded([&] {
        session = new DecoderSession(reinterpret_cast<const char16_t*>(path), *services);
        return QUARLIN_OK;
      }) != QUARLIN_OK)
    return QUARLIN_FAULT;
  const int32_t result = guarded([&] {
    return session->open(seekData && seekDataSize ? seekData : nullptr, seekDataSize);
  });
  if (result == QUARLIN_OK || result == QUARLIN_INDEX_INCOMPLETE) {
    *outSession = session;
    return result;
  }
  guarded([&] {
    delete session;
    return 0;
  });
  return result;
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_IndexFile(DecoderSession* session, float* progress) {
  return guarded([&] {
    if (!session->indexIncomplete) {
      if (progress) *progress = 1.0f;
      return 0;
    }
    const int32_t result = session->indexSlice(kIndexFileScanBudget, progress);
    if (result == kScanBudgetUsed) return QUARLIN_INDEX_INCOMPLETE;
    return result == 0 ? QUARLIN_OK : QUARLIN_FAILED;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_CloseFile(DecoderSession* session) {
  return guarded([&] {
    delete session;
    return 0;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFileInfo(DecoderSession* session, FileInfo* info) {
  return guarded([&] { return session->getFileInfo(info); });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetStartFrameOffset(DecoderSession* session, int32_t* startOffset,
                                                             int32_t* startOffset2) {
  return guarded([&] {
    session->frameIndex.getStartFrameOffset(*startOffset, *startOffset2);
    return 0;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrameSizes(DecoderSession* session, int32_t* lumaSize,
                                                       int32_t* chromaSize) {
  return guarded([&] {
    session->getFrameSizes(*lumaSize, *chromaSize);
    return 0;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetSeekData(DecoderSession* session, void** data, int32_t* size) {
  return guarded([&] {
    if (session->indexIncomplete) return QUARLIN_INDEX_INCOMPLETE;
    const int32_t length = StreamSource::seekDataSize() + session->frameIndex.serialisedSize();
    *data = nullptr;
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
    if (!block) return QUARLIN_FAULT;
    *size = length;
    *data = block;
    session->stream.writeSeekData(block);
    session->frameIndex.serialise(block);
    return 0;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_FreeSeekData(void* data) {
  return guarded([&] {
    std::free(data);
    return 0;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrameDependancies(DecoderSession* session, int32_t frame,
                                                              int32_t* forwardRef, int32_t* backwardRef) {
  return guarded([&] {
    if (session->indexIncomplete) return QUARLIN_INDEX_INCOMPLETE;
    return session->frameIndex.dependencies(frame, *forwardRef, *backwardRef) == 0 ? QUARLIN_OK : QUARLIN_NOT_FOUND;
  });
}

QUARLIN_API int32_t QUARLIN_CALL Quarlin_GetFrame(DecoderSession* session, int32_t frame,
                                                  const PlaneSet* forwardPlanes, const PlaneSet* backwardPlanes,
                                                  const PlaneSet* outputPlanes, int32_t reducedResolution,
                                                  int32_t reductionMode) {
  return guarded([&] {
    if (session->indexIncomplete) return QUARLIN_INDEX_INCOMPLETE;
    const int32_t result = decodeFrame(*session, frame, forwardPlanes, backwardPlanes, outputPlanes,
                                       reducedResolution, reductionMode);
    if (result == 0) return QUARLIN_OK;
    return result == kNoMatchingUnit ? QUARLIN_NOT_FOUND : QUARLIN_FAILED;
  });
}

}  // extern "C"
