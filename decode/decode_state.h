// What a frame request needs beyond the shared session state: the decoding
// options of the request and the per-part bookkeeping of parallel pictures.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "foundation/kelso/stl_allocator.h"
#include "index/session_state.h"

namespace quarlin {

struct DecodeState : SessionState {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;

  // maxParts from the pool's worker count, at least 1.
  DecodeState(const char16_t* path, const HostServices& services);

  int32_t reducedResolution = 0;
  int32_t reductionMode = 0;
  // The second field of the frame being decoded has no forward reference
  // frame (see PictureContext::noPastField).
  bool noPastField = false;
  int32_t maxParts = 1;  // workers a picture may be split among
  // A parallel picture's runs of rows (a few per worker, so that a worker
  // done early takes more): runCount of them, each with its first slice,
  // slice count and slice view, the views made with the session and
  // repointed at each parallel picture's unit. nextRun is the first run no
  // worker has taken.
  static constexpr int32_t kRunsPerWorker = 4;
  int32_t runCount = 0;
  std::atomic<int32_t> nextRun{0};
  Array<int32_t> sliceStart;
  Array<int32_t> sliceTotal;
  Array<SharedBuffer> partBuffer;
  // The picture's macroblocks reconstructed (SliceContext::decodedMacroblocks),
  // cleared for each picture; its storage grows to the largest picture and
  // stays with the session.
  Array<uint8_t> decodedMacroblocks;
};

}  // namespace quarlin
