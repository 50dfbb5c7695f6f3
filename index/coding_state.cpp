#include "index/coding_state.h"

#include "primitives/mpeg2_tables.h"

namespace quarlin {

namespace {

constexpr int16_t kFlatWeight = 16;  // a null non-intra matrix pointer

void store(const int16_t* matrix, uint8_t* out) {
  for (int i = 0; i < 64; ++i) out[i] = static_cast<uint8_t>(matrix ? matrix[i] : kFlatWeight);
}

bool isFlat(const uint8_t* weights) {
  for (int i = 0; i < 64; ++i)
    if (weights[i] != kFlatWeight) return false;
  return true;
}

const int16_t* load(const uint8_t* weights, int16_t* storage) {
  for (int i = 0; i < 64; ++i) storage[i] = weights[i];
  return storage;
}

}  // namespace

CodingState codingStateOf(const SequenceInfo& s, bool decodable) {
  CodingState state;
  state.flags = static_cast<uint8_t>((s.progressiveSequence ? CodingState::kProgressive : 0) |
                                     (decodable ? 0 : CodingState::kUndecodable));
  store(s.intraMatrixLuma ? s.intraMatrixLuma : kDefaultIntraMatrix, state.matrices[0]);
  store(s.intraMatrixChroma ? s.intraMatrixChroma : kDefaultIntraMatrix, state.matrices[1]);
  store(s.nonIntraMatrixLuma, state.matrices[2]);
  store(s.nonIntraMatrixChroma, state.matrices[3]);
  return state;
}

void applyCodingState(const CodingState& state, SequenceInfo& s) {
  s.progressiveSequence = (state.flags & CodingState::kProgressive) ? 1 : 0;
  s.intraMatrixLuma = load(state.matrices[0], s.loadedIntra);
  s.intraMatrixChroma = load(state.matrices[1], s.loadedIntraChroma);
  s.nonIntraMatrixLuma = isFlat(state.matrices[2]) ? nullptr : load(state.matrices[2], s.loadedNonIntra);
  s.nonIntraMatrixChroma =
      isFlat(state.matrices[3]) ? nullptr : load(state.matrices[3], s.loadedNonIntraChroma);
}

}  // namespace quarlin
