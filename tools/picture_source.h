// Decoded frames at the scale the user asked for. The decoder gives field
// pictures only at full size, so for field-coded streams the frames are
// decoded at full size and reduced here.
#pragma once
#include <memory>
#include <optional>

#include "tools/frame_server.h"
#include "tools/image_scaling.h"
#include "tools/library_frame_decoder.h"
#include "tools/stream_look.h"

namespace quarlin::tool {

// Frames decoded at `decodeScale` for a picture source at `outputScale`.
DecodeScale decodeScaleFor(const StreamLook& look, DecodeScale outputScale);

// Bytes of `frames` decoded pictures of the session at `scale`.
std::size_t picturesBytes(const LibrarySession& session, DecodeScale scale, std::size_t frames);

class PictureSource {
 public:
  PictureSource(const LibrarySession& session, const StreamLook& look, DecodeScale outputScale,
                std::size_t cacheBytes);

  DecodeScale outputScale() const { return outputScale_; }
  DecodeScale decodeScale() const { return server_.scale(); }
  FrameServer& server() { return server_; }

  // Frame `frame` at the output scale; the view stays valid until the next
  // call. Throws FrameError.
  ImageView frame(int32_t frame);

 private:
  LibraryFrameDecoder decoder_;
  DecodeScale outputScale_;
  FrameServer server_;
  std::shared_ptr<const Picture> picture_;
  std::optional<YuvImage> reduced_;
};

}  // namespace quarlin::tool
