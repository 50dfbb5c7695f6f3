#include "tools/picture_source.h"

namespace quarlin::tool {

DecodeScale decodeScaleFor(const StreamLook& look, DecodeScale outputScale) {
  return isFieldCoded(look) ? DecodeScale::Full : outputScale;
}

std::size_t picturesBytes(const LibrarySession& session, DecodeScale scale, std::size_t frames) {
  const PlaneLayout layout = planeLayout(session.geometry(), scale);
  return frames * (layout.lumaBytes + 2 * layout.chromaBytes);
}

PictureSource::PictureSource(const LibrarySession& session, const StreamLook& look, DecodeScale outputScale,
                             std::size_t cacheBytes)
    : decoder_(session),
      outputScale_(outputScale),
      server_(decoder_, session.geometry(), decodeScaleFor(look, outputScale), cacheBytes) {}

ImageView PictureSource::frame(int32_t frame) {
  picture_ = server_.frame(frame);
  if (server_.scale() == outputScale_) return picture_->view();
  reduced_.emplace(imageAtScale(picture_->view(), server_.scale(), outputScale_));
  return reduced_->view();
}

}  // namespace quarlin::tool
