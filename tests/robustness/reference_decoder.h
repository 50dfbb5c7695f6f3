// The host side of frame requests at one scale: asks for a frame's
// dependencies, decodes those first (recursively, through a cache of decoded
// pictures, down to a chosen depth) and passes their planes with the
// request. Every plane carries guard zones, checked after each call.
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

// Quarlin_GetFrame of `frame` into `output`, predicting from `forward` and
// `backward` (null: a record of null addresses; any may be `output` itself),
// checked: the result is one a complete index allows (0, -3, -5) and every
// guard zone of the pictures passed is intact.
int32_t checkedGetFrame(DecoderSession* session, int32_t frame, GuardedPicture* forward, GuardedPicture* backward,
                        GuardedPicture& output, const ScaleOption& scale, ExerciseReport& report);

class ReferenceDecoder {
 public:
  // References more than `maxDepth` levels below a requested frame are
  // passed as missing; decoded pictures beyond `budgetBytes` are forgotten.
  ReferenceDecoder(DecoderSession* session, const PlaneSizes& sizes, const ScaleOption& scale,
                   ExerciseReport& report, int32_t maxDepth = 300, size_t budgetBytes = size_t{192} << 20);
  // Decodes `frame` (after its references) unless it is cached.
  void decode(int32_t frame);

 private:
  using Picture = std::shared_ptr<GuardedPicture>;
  Picture obtain(int32_t frame, int32_t depth);

  DecoderSession* session_;
  PlaneSizes sizes_;
  ScaleOption scale_;
  ExerciseReport& report_;
  int32_t maxDepth_;
  size_t budgetBytes_;
  std::map<int32_t, Picture> cache_;
  std::set<int32_t> inProgress_;  // frames whose references are being decoded
  size_t cachedBytes_ = 0;
};

}  // namespace quarlin::robust
