// What a frame request needs beyond the shared session state: the decoding
// options of the request and the per-part bookkeeping of parallel pictures.
#pragma once
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
  int32_t maxParts = 1;  // parts a picture may be split into for the slice workers
  Array<int32_t> sliceStart;
  Array<int32_t> sliceTotal;
  Array<SharedBuffer> partBuffer;
  // The picture's macroblocks reconstructed (SliceContext::decodedMacroblocks),
  // sized per picture, kept for the session.
  Array<uint8_t> decodedMacroblocks;
};

}  // namespace quarlin
