#include "tools/host/picture_source.h"

namespace quarlin::tool {

std::size_t picturesBytes(const LibrarySession& session, DecodeScale scale, std::size_t frames) {
  const PlaneLayout layout = planeLayout(session.geometry(), scale);
  return frames * (layout.lumaBytes + 2 * layout.chromaBytes);
}

PictureSource::PictureSource(const LibrarySession& session, DecodeScale scale, std::size_t cacheBytes)
    : decoder_(session), server_(decoder_, session.geometry(), scale, cacheBytes) {}

ImageView PictureSource::frame(int32_t frame) {
  picture_ = server_.frame(frame);
  return picture_->view();
}

}  // namespace quarlin::tool
