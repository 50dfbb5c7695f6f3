#include "tools/host/library_frame_decoder.h"

namespace quarlin::tool {

int32_t LibraryFrameDecoder::dependencies(int32_t frame, int32_t& forward, int32_t& backward) {
  return Quarlin_GetFrameDependancies(session_.handle(), frame, &forward, &backward);
}

int32_t LibraryFrameDecoder::decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward,
                                    const PlaneSet& output, DecodeScale scale) {
  return Quarlin_GetFrame(session_.handle(), frame, &forward, &backward, &output, reducedResolutionOption(scale),
                          reductionModeOption(scale));
}

}  // namespace quarlin::tool
