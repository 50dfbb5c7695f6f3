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

bool LibraryFrameDecoder::isIntra(int32_t frame) {
  if (!typesRead_) {
    typesRead_ = true;
    try {
      for (const SeekEntry& entry : readSeekData(session_.seekData()).entries)
        if (entry.type == 1) intraFrames_.push_back(entry.number);
    } catch (const std::exception&) {
      intraFrames_.clear();  // unknown: every picture is treated as predicted
    }
    std::sort(intraFrames_.begin(), intraFrames_.end());
  }
  return std::binary_search(intraFrames_.begin(), intraFrames_.end(), frame);
}

}  // namespace quarlin::tool
