#include "tests/robustness/reference_decoder.h"

#include <string>

namespace quarlin::robust {

const ScaleOption kScaleOptions[3] = {{"full", 0, 0}, {"half-width", 1, 2}, {"quarter", 1, 1}};

int32_t checkedGetFrame(DecoderSession* session, int32_t frame, GuardedPicture* forward, GuardedPicture* backward,
                        GuardedPicture& output, const ScaleOption& scale, ExerciseReport& report) {
  // A missing reference is passed as a plane set with null addresses.
  const PlaneSet outputPlanes = output.planeSet();
  const PlaneSet forwardPlanes = forward ? forward->planeSet() : PlaneSet{};
  const PlaneSet backwardPlanes = backward ? backward->planeSet() : PlaneSet{};
  const int32_t result = Quarlin_GetFrame(session, frame, &forwardPlanes, &backwardPlanes, &outputPlanes,
                                          scale.reducedResolution, scale.reductionMode);
  ++report.frameRequests;
  if (result == 0) ++report.framesDecoded;
  const std::string call = "GetFrame(" + std::to_string(frame) + ", " + scale.name + ")";
  if (result != 0 && result != -3 && result != -5) report.problem(call + " returned " + std::to_string(result));
  const std::pair<const char*, GuardedPicture*> pictures[] = {
      {"output", &output}, {"forward", forward}, {"backward", backward}};
  for (const auto& [role, picture] : pictures) {
    const std::string damaged = picture ? picture->damagedGuards() : std::string();
    if (!damaged.empty()) report.problem(call + " wrote outside the " + role + " planes:" + damaged);
  }
  return result;
}

ReferenceDecoder::ReferenceDecoder(DecoderSession* session, const PlaneSizes& sizes, const ScaleOption& scale,
                                   ExerciseReport& report, int32_t maxDepth, size_t budgetBytes)
    : session_(session), sizes_(sizes), scale_(scale), report_(report), maxDepth_(maxDepth),
      budgetBytes_(budgetBytes) {}

void ReferenceDecoder::decode(int32_t frame) { obtain(frame, 0); }

ReferenceDecoder::Picture ReferenceDecoder::obtain(int32_t frame, int32_t depth) {
  if (auto it = cache_.find(frame); it != cache_.end()) return it->second;
  // A frame that (through a damaged index) depends on itself or on a frame
  // still waiting for it would never finish: the reference counts as absent.
  if (inProgress_.count(frame) || depth > maxDepth_) return nullptr;
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
  auto picture = std::make_shared<GuardedPicture>(sizes_, kFreshSample);
  checkedGetFrame(session_, frame, forwardPicture.get(), backwardPicture.get(), *picture, scale_, report_);
  cachedBytes_ += picture->bytes();
  cache_[frame] = picture;
  // Frames are asked for in display order: the lowest numbers go first. A
  // picture still held as a reference of a request in progress stays alive
  // through its holder.
  while (cachedBytes_ > budgetBytes_ && cache_.size() > 1) {
    cachedBytes_ -= cache_.begin()->second->bytes();
    cache_.erase(cache_.begin());
  }
  return picture;
}

}  // namespace quarlin::robust
