#include "tools/host/library_frame_decoder.h"

#include <algorithm>

#include "tools/host/seek_data_reader.h"

namespace quarlin::tool {

int32_t LibraryFrameDecoder::dependencies(int32_t frame, int32_t& forward, int32_t& backward) {
  return Quarlin_GetFrameDependancies(session_.handle(), frame, &forward, &backward);
}

int32_t LibraryFrameDecoder::decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward,
                                    const PlaneSet& output, DecodeScale scale) {
  return Quarlin_GetFrame(session_.handle(), frame, &forward, &backward, &output, reducedResolutionOption(scale),
                          reductionModeOption(scale));
}

uint8_t LibraryFrameDecoder::typeOf(int32_t frame) {
  if (!typesRead_) {
    typesRead_ = true;
    try {
      for (const SeekEntry& entry : readSeekData(session_.seekData()).entries)
        types_.emplace_back(entry.number, entry.type);
    } catch (const std::exception&) {
      types_.clear();  // unknown: every picture is treated as a predicted reference
    }
    std::sort(types_.begin(), types_.end());
  }
  const auto it = std::lower_bound(types_.begin(), types_.end(), std::pair<int32_t, uint8_t>(frame, 0));
  return it != types_.end() && it->first == frame ? it->second : 0;
}

bool LibraryFrameDecoder::isIntra(int32_t frame) { return typeOf(frame) == 1; }

bool LibraryFrameDecoder::isBidirectional(int32_t frame) { return typeOf(frame) == 3; }

}  // namespace quarlin::tool
