#include "tests/robustness/reference_decoder.h"

#include <string>

namespace quarlin::robust {

const ScaleOption kScaleOptions[3] = {{"full", 0, 0}, {"half-width", 1, 2}, {"quarter", 1, 1}};

namespace {
// Deeper reference chains than this are treated as missing references (a
// damaged index may chain thousands of entries).
constexpr int32_t kMaxDepth = 300;
// Fresh planes hold this value, so decoded and undecoded areas differ.
constexpr uint8_t kFreshSample = 0x5A;
}  // namespace

ReferenceDecoder::ReferenceDecoder(DecoderSession* session, const PlaneSizes& sizes, const ScaleOption& scale,
                                   size_t budgetBytes, ExerciseReport& report)
    : session_(session), sizes_(sizes), scale_(scale), budgetBytes_(budgetBytes), report_(report) {}

void ReferenceDecoder::decode(int32_t frame) { obtain(frame, 0); }

ReferenceDecoder::Picture ReferenceDecoder::obtain(int32_t frame, int32_t depth) {
  if (auto it = cache_.find(frame); it != cache_.end()) {
    it->second.lastUse = ++clock_;
    return it->second.picture;
  }
  // A frame that (through a damaged index) depends on itself or on a frame
  // still waiting for it would never finish: the reference counts as absent.
  if (inProgress_.count(frame) || depth > kMaxDepth) return nullptr;
  int32_t forward = -7, backward = -7;
  const int32_t found = Quarlin_GetFrameDependancies(session_, frame, &forward, &backward);
  if (found != 0 && found != -5)
    report_.problem("GetFrameDependancies(" + std::to_string(frame) + ") returned " + std::to_string(found));
  if (found == -5 && (forward != -1 || backward != -1))
    report_.problem("GetFrameDependancies(" + std::to_string(frame) + ") returned -5 without setting both outputs to -1");
  if (found != 0) forward = backward = -1;
  inProgress_.insert(frame);
  const Picture forwardPicture = forward == -1 ? nullptr : obtain(forward, depth + 1);
  const Picture backwardPicture = backward == -1 ? nullptr : obtain(backward, depth + 1);
  inProgress_.erase(frame);
  Picture picture = request(frame, forwardPicture, backwardPicture);
  cachedBytes_ += picture->bytes();
  cache_[frame] = Entry{picture, ++clock_};
  evictOverBudget();
  return picture;
}

ReferenceDecoder::Picture ReferenceDecoder::request(int32_t frame, const Picture& forward, const Picture& backward) {
  Picture output = std::make_shared<GuardedPicture>(sizes_, kFreshSample);
  const PlaneSet outputPlanes = output->planeSet();
  // A missing reference is passed as a plane set with null addresses: a null
  // forward Y address means "predict from the output planes".
  const PlaneSet forwardPlanes = forward ? forward->planeSet() : PlaneSet{};
  const PlaneSet backwardPlanes = backward ? backward->planeSet() : PlaneSet{};
  const int32_t result = Quarlin_GetFrame(session_, frame, &forwardPlanes, &backwardPlanes, &outputPlanes,
                                          scale_.reducedResolution, scale_.reductionMode);
  ++report_.frameRequests;
  if (result == 0) ++report_.framesDecoded;
  if (result != 0 && result != -3 && result != -5)
    report_.problem(std::string("GetFrame(") + std::to_string(frame) + ", " + scale_.name + ") returned " +
                    std::to_string(result));
  checkGuards(frame, "output", output);
  checkGuards(frame, "forward", forward);
  checkGuards(frame, "backward", backward);
  return output;
}

void ReferenceDecoder::checkGuards(int32_t frame, const char* role, const Picture& picture) {
  if (!picture) return;
  const std::string damaged = picture->damagedGuards();
  if (!damaged.empty())
    report_.problem(std::string("GetFrame(") + std::to_string(frame) + ", " + scale_.name + ") wrote outside the " +
                    role + " planes:" + damaged);
}

// Drops the least recently used pictures; a picture still held as a
// reference of a request in progress stays alive through its holder.
void ReferenceDecoder::evictOverBudget() {
  while (cachedBytes_ > budgetBytes_ && cache_.size() > 1) {
    auto oldest = cache_.begin();
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    cachedBytes_ -= oldest->second.picture->bytes();
    cache_.erase(oldest);
  }
}

}  // namespace quarlin::robust
