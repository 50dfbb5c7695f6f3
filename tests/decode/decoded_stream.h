// One stream opened through the library's exports (the reference host's
// session and frame server), with every Quarlin_GetFrame result recorded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/frame_server.h"
#include "tools/host/library_frame_decoder.h"
#include "tools/host/library_session.h"
#include "yuv_frame.h"

namespace quarlin::decodetest {

class RecordingDecoder : public tool::FrameDecoder {
 public:
  explicit RecordingDecoder(const tool::LibrarySession& session) : inner_(session) {}
  int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) override {
    return inner_.dependencies(frame, forward, backward);
  }
  int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                 tool::DecodeScale scale) override;

  struct Call {
    int32_t frame, result;
  };
  std::vector<Call> calls;
  // Frames a recorded call failed on.
  bool failed(int32_t frame) const {
    for (const Call& c : calls)
      if (c.frame == frame && c.result != 0) return true;
    return false;
  }

 private:
  tool::LibraryFrameDecoder inner_;
};

class DecodedStream {
 public:
  // Opens and indexes `path`.
  explicit DecodedStream(const std::string& path);

  int32_t frameCount() const { return frameCount_; }
  const tool::FrameGeometry& geometry() const { return geometry_; }
  RecordingDecoder& decoder() { return decoder_; }

  // Every frame in display order through one frame server at `scale`. With
  // `tolerate`, failed frames keep what was decoded.
  std::vector<YuvFrame> decodeAll(tool::DecodeScale scale, bool tolerate = false);
  // One frame through a new frame server (an empty cache): its references
  // are decoded first.
  YuvFrame decodeAlone(int32_t frame, tool::DecodeScale scale);
  // A frame without references (an I-picture).
  bool isIntra(int32_t frame);
  // Every frame `frame` depends on, directly or through its references.
  std::vector<int32_t> dependencyClosure(int32_t frame);

 private:
  tool::LibrarySession session_;
  tool::FrameGeometry geometry_;
  int32_t frameCount_ = 0;
  RecordingDecoder decoder_;
};

}  // namespace quarlin::decodetest
