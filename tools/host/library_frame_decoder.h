// The frame server's decoder over an open library session.
#pragma once
#include <vector>

#include "tools/host/frame_decoder.h"
#include "tools/host/library_session.h"

namespace quarlin::tool {

class LibraryFrameDecoder : public FrameDecoder {
 public:
  explicit LibraryFrameDecoder(const LibrarySession& session) : session_(session) {}

  int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) override;
  int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                 DecodeScale scale) override;
  // From the picture types of the session's seek data, read at the first call.
  bool isIntra(int32_t frame) override;

 private:
  const LibrarySession& session_;
  bool typesRead_ = false;
  std::vector<int32_t> intraFrames_;  // ascending
};

}  // namespace quarlin::tool
