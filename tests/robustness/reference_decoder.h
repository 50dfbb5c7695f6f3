// The host side of frame requests at one scale: asks for a frame's
// dependencies, decodes those first (recursively, through a cache of decoded
// pictures) and passes their planes with the request. Every plane carries
// guard zones, checked after each call.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "quarlin/quarlin.h"
#include "tests/robustness/guarded_planes.h"
#include "tests/robustness/session_exerciser.h"

namespace quarlin::robust {

// The three decoding options of Quarlin_GetFrame, as (reducedResolution,
// reductionMode).
struct ScaleOption {
  const char* name;
  int32_t reducedResolution;
  int32_t reductionMode;
};
extern const ScaleOption kScaleOptions[3];

class ReferenceDecoder {
 public:
  ReferenceDecoder(DecoderSession* session, const PlaneSizes& sizes, const ScaleOption& scale,
                   size_t budgetBytes, ExerciseReport& report);
  // Decodes `frame` (after its references) unless it is cached.
  void decode(int32_t frame);

 private:
  using Picture = std::shared_ptr<GuardedPicture>;
  struct Entry {
    Picture picture;
    uint64_t lastUse = 0;
  };
  Picture obtain(int32_t frame, int32_t depth);
  Picture request(int32_t frame, const Picture& forward, const Picture& backward);
  void checkGuards(int32_t frame, const char* role, const Picture& picture);
  void evictOverBudget();

  DecoderSession* session_;
  PlaneSizes sizes_;
  ScaleOption scale_;
  size_t budgetBytes_;
  ExerciseReport& report_;
  std::map<int32_t, Entry> cache_;
  std::set<int32_t> inProgress_;  // frames whose references are being decoded
  size_t cachedBytes_ = 0;
  uint64_t clock_ = 0;
};

}  // namespace quarlin::robust
