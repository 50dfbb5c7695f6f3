#include "decoded_stream.h"

#include <set>

namespace quarlin::decodetest {

int32_t RecordingDecoder::decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward,
                                 const PlaneSet& output, tool::DecodeScale scale) {
  const int32_t result = inner_.decode(frame, forward, backward, output, scale);
  calls.push_back(Call{frame, result});
  return result;
}

DecodedStream::DecodedStream(const std::string& path) : session_(path, {}), decoder_(session_) {
  if (!session_.indexComplete()) session_.indexToEnd([](float) {});
  geometry_ = session_.geometry();
  frameCount_ = static_cast<int32_t>(session_.fileInfo().frameCount);
}

std::vector<YuvFrame> DecodedStream::decodeAll(tool::DecodeScale scale, bool tolerate) {
  tool::FrameServer server(decoder_, geometry_, scale);
  server.setTolerateFailures(tolerate);
  std::vector<YuvFrame> frames;
  for (int32_t n = 0; n < frameCount_; ++n) frames.push_back(fromPicture(*server.frame(n)));
  return frames;
}

YuvFrame DecodedStream::decodeAlone(int32_t frame, tool::DecodeScale scale) {
  tool::FrameServer server(decoder_, geometry_, scale);
  return fromPicture(*server.frame(frame));
}

bool DecodedStream::isIntra(int32_t frame) {
  int32_t forward = -1, backward = -1;
  return decoder_.dependencies(frame, forward, backward) == 0 && forward < 0 && backward < 0;
}

std::vector<int32_t> DecodedStream::dependencyClosure(int32_t frame) {
  std::set<int32_t> seen;
  std::vector<int32_t> pending{frame};
  while (!pending.empty()) {
    const int32_t f = pending.back();
    pending.pop_back();
    int32_t refs[2] = {-1, -1};
    if (decoder_.dependencies(f, refs[0], refs[1]) != 0) continue;
    for (int32_t r : refs)
      if (r >= 0 && r != f && seen.insert(r).second) pending.push_back(r);
  }
  return std::vector<int32_t>(seen.begin(), seen.end());
}

}  // namespace quarlin::decodetest
