// Decoded frames at the scale the user asked for, through a frame server
// over the library.
#pragma once
#include <memory>

#include "tools/host/frame_server.h"
#include "tools/host/library_frame_decoder.h"

namespace quarlin::tool {

// Bytes of `frames` decoded pictures of the session at `scale`.
std::size_t picturesBytes(const LibrarySession& session, DecodeScale scale, std::size_t frames);

class PictureSource {
 public:
  PictureSource(const LibrarySession& session, DecodeScale scale, std::size_t cacheBytes);

  DecodeScale scale() const { return server_.scale(); }
  FrameServer& server() { return server_; }

  // Frame `frame`; the view stays valid until the next call. Throws FrameError.
  ImageView frame(int32_t frame);

 private:
  LibraryFrameDecoder decoder_;
  FrameServer server_;
  std::shared_ptr<const Picture> picture_;
  int32_t shown_ = -1;  // the frame of picture_
};

}  // namespace quarlin::tool
