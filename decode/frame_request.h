// A frame request: locates the coded picture of display frame N through the
// index, reads exactly its unit (checking it against the index) and decodes
// it into the host's output planes. A field-coded frame's two field pictures
// are decoded by one request.
#pragma once
#include <cstdint>

#include "quarlin/quarlin.h"

namespace quarlin {

struct DecodeState;

constexpr int32_t kIndexIncomplete = -4;
constexpr int32_t kNoMatchingUnit = -11;
// The picture follows a sequence header of another size or chroma format.
constexpr int32_t kSequenceUnavailable = -12;

// 0; -4 index incomplete; -11 no matching unit; other negative codes for
// fetch failures (-6, -7, -4 with nothing read), rejected headers (-2) or
// failed slices (-1, -2).
int32_t decodeFrame(DecodeState& session, int32_t frame, const PlaneSet* forwardPlanes,
                    const PlaneSet* backwardPlanes, const PlaneSet* outputPlanes,
                    int32_t reducedResolution, int32_t reductionMode);

}  // namespace quarlin
