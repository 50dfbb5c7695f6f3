// The frame server's decoder over an open library session.
#pragma once
#include <utility>
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
  bool isBidirectional(int32_t frame) override;

 private:
  // The seek data's picture type of `frame` (1 I, 2 P, 3 B), 0 when unknown.
  uint8_t typeOf(int32_t frame);

  const LibrarySession& session_;
  bool typesRead_ = false;
  std::vector<std::pair<int32_t, uint8_t>> types_;  // by ascending frame number
};

}  // namespace quarlin::tool
