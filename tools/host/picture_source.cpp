#include "tools/host/picture_source.h"

namespace quarlin::tool {

std::size_t picturesBytes(const LibrarySession& session, DecodeScale scale, std::size_t frames) {
  const PlaneLayout layout = planeLayout(session.geometry(), scale);
  return frames * (layout.lumaBytes + 2 * layout.chromaBytes);
}

PictureSource::PictureSource(const LibrarySession& session, DecodeScale scale, std::size_t cacheBytes)
    : decoder_(session), server_(decoder_, session.geometry(), scale, cacheBytes) {}

ImageView PictureSource::frame(int32_t frame) {
  // The frame shown is let go first, so that the cache can reuse its planes
  // as soon as it evicts it; a B-frame is needed by no other frame: its
  // planes take the next one.
  picture_.reset();
  if (frame != shown_ && decoder_.isBidirectional(shown_)) server_.release(shown_);
  picture_ = server_.frame(frame);
  shown_ = frame;
  return picture_->view();
}

}  // namespace quarlin::tool
